#include "capture/win/status_text.h"

#include <errors.h>

#include <cwchar>

namespace kovracam {

std::wstring describeStatus(HRESULT hr) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(hr), 0, text, 512, nullptr);
  // DirectShow's own codes are not in the system's table.
  if (length == 0) length = AMGetErrorTextW(hr, text, 512);
  std::wstring described(text, length < 512 ? length : 0);
  while (!described.empty() && (described.back() == L'\n' || described.back() == L'\r' ||
                                described.back() == L'.' || described.back() == L' ')) {
    described.pop_back();
  }
  if (!described.empty()) return described;
  wchar_t code[32];
  std::swprintf(code, 32, L"error 0x%08lX", static_cast<unsigned long>(hr));
  return code;
}

}  // namespace kovracam
