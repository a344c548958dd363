#include "base/win/wide_text.h"

#include "base/utf16.h"

namespace kovracam {

std::wstring widenUtf8(const std::string& utf8) {
  const auto units = utf8ToUtf16(utf8);
  return units ? toWide(*units) : std::wstring();
}

std::string narrowToUtf8(const std::wstring& wide) {
  return utf16ToUtf8(fromWide(wide)).value_or(std::string());
}

}  // namespace kovracam
