#pragma once
// Exact conversions between the program's UTF-8 text and UTF-16 code units (or code points).

#include <cstddef>
#include <optional>
#include <string>

namespace kovracam {

// Characters outside the BMP become surrogate pairs. Invalid UTF-8 yields nullopt.
std::optional<std::u16string> utf8ToUtf16(const std::string& utf8);
// The code points of the text. Invalid UTF-8 yields nullopt.
std::optional<std::u32string> utf8ToUtf32(const std::string& utf8);
// Unpaired surrogates yield nullopt.
std::optional<std::string> utf16ToUtf8(const std::u16string& utf16);
// Number of UTF-16 code units the text takes (invalid input counts each bad byte as one unit).
std::size_t utf16Length(const std::string& utf8);
// The longest prefix of utf8 that takes at most maxUnits UTF-16 code units, cut between characters.
std::string truncateToUtf16Units(const std::string& utf8, std::size_t maxUnits);

}  // namespace kovracam
