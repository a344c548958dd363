#pragma once
// The program's UTF-8 and UTF-16 texts as the wide strings Win32 takes (wchar_t is 16 bits).

#include <string>

namespace kovracam {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

inline std::wstring toWide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

inline std::u16string fromWide(const std::wstring& text) {
  return std::u16string(text.begin(), text.end());
}

// Invalid UTF-8 gives an empty string.
std::wstring widenUtf8(const std::string& utf8);
// Unpaired surrogates give an empty string.
std::string narrowToUtf8(const std::wstring& wide);

}  // namespace kovracam
