#pragma once
// Helpers shared by the fake kernel's source files.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace kovracam {

// Copies a name into a fixed V4L2 field the way the kernel's strscpy does: cut to leave room for
// the terminator, rest zeroed.
template <typename Char, std::size_t N>
void copyFakeName(Char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

}  // namespace kovracam
