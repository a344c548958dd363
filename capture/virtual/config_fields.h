#pragma once
// The line syntax shared by our configuration files: `key=value` fields separated by `;`.
// Plain C++ only, so that tools outside the app can read the same files.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kovracam {

using ConfigFields = std::vector<std::pair<std::string, std::string>>;

std::string_view trimConfigText(std::string_view s);
// `s` in double quotes, for messages about a line.
std::string quoted(std::string_view s);
// true when `s` is one or more ASCII digits.
bool allDigits(std::string_view s);

// The fields of one line in their order, keys and values trimmed; nullopt with `fault` set when
// a field has no '=' or no key, or a key comes twice.
std::optional<ConfigFields> splitConfigFields(std::string_view line, std::string& fault);

// A decimal frame rate ("7.5", "29.97") as an exact fraction num/den in lowest terms; nullopt
// unless it is above 0, at most `maxRate` and has at most `maxDecimals` decimals.
std::optional<std::pair<int, int>> parseDecimalRate(std::string_view s, int maxRate,
                                                    int maxDecimals);

// Seconds as "3", "1.5" or "0" (at most three decimals, at most `maxSeconds`); nullopt otherwise.
std::optional<double> parseConfigSeconds(std::string_view s, double maxSeconds);

}  // namespace kovracam
