#pragma once
// The name test for language modules, for narrow (Linux) and wide (Windows) file names.

#include <string_view>

namespace kovracam {

namespace detail {
template <typename Char>
bool endsInDll(std::basic_string_view<Char> name) {
  constexpr char kTail[] = ".dll";
  if (name.size() < 4) return false;  // the whole name, shorter than ".dll"
  for (std::size_t i = 0; i < 4; ++i) {
    Char c = name[name.size() - 4 + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<Char>(c - 'A' + 'a');  // A to Z only
    if (c != static_cast<Char>(kTail[i])) return false;
  }
  return true;
}
}  // namespace detail

// Whether the last four characters of `name` (all of it if shorter) are ".dll" in any case.
inline bool hasModuleName(std::string_view name) { return detail::endsInDll(name); }
inline bool hasModuleName(std::wstring_view name) { return detail::endsInDll(name); }

}  // namespace kovracam
