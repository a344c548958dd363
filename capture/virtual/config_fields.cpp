#include "capture/virtual/config_fields.h"

#include <numeric>
#include <set>

namespace kovracam {

std::string quoted(std::string_view s) {
  std::string out(1, '"');
  out.append(s).push_back('"');
  return out;
}

bool allDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view trimConfigText(std::string_view s) {
  constexpr std::string_view kSpace = " \t\r\n\v\f";
  const auto first = s.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

std::optional<ConfigFields> splitConfigFields(std::string_view line, std::string& fault) {
  ConfigFields fields;
  std::set<std::string> seen;
  for (std::size_t start = 0; start <= line.size();) {
    const auto semicolon = std::min(line.find(';', start), line.size());
    const std::string_view field = trimConfigText(line.substr(start, semicolon - start));
    start = semicolon + 1;
    if (field.empty()) continue;
    const auto equals = field.find('=');
    if (equals == std::string_view::npos) {
      fault = "field " + quoted(field) + " has no '=' (expected key=value)";
      return std::nullopt;
    }
    std::string key(trimConfigText(field.substr(0, equals)));
    if (key.empty()) {
      fault = "field " + quoted(field) + " has no key (expected key=value)";
      return std::nullopt;
    }
    if (!seen.insert(key).second) {
      fault = "duplicate key " + quoted(key);
      return std::nullopt;
    }
    fields.emplace_back(std::move(key), std::string(trimConfigText(field.substr(equals + 1))));
  }
  return fields;
}

namespace {

// "12.5" as its digits before and after the point; nothing for anything else or more decimals.
std::optional<std::pair<std::string_view, std::string_view>> splitDecimal(std::string_view s,
                                                                          std::size_t maxDecimals) {
  const auto point = s.find('.');
  const std::string_view whole = s.substr(0, point);
  const std::string_view decimals = point == std::string_view::npos ? "" : s.substr(point + 1);
  if (!allDigits(whole) || (point != std::string_view::npos && !allDigits(decimals)) ||
      decimals.size() > maxDecimals) {
    return std::nullopt;
  }
  return std::pair{whole, decimals};
}

}  // namespace

std::optional<std::pair<int, int>> parseDecimalRate(std::string_view s, int maxRate,
                                                    int maxDecimals) {
  const auto parts = splitDecimal(s, static_cast<std::size_t>(maxDecimals));
  if (!parts) return std::nullopt;
  const auto [whole, decimals] = *parts;
  long num = 0;
  for (char c : whole) {
    num = num * 10 + (c - '0');
    if (num > maxRate) return std::nullopt;
  }
  long den = 1;
  for (char c : decimals) {
    num = num * 10 + (c - '0');
    den *= 10;
  }
  if (num <= 0 || num > maxRate * den) return std::nullopt;
  const long divisor = std::gcd(num, den);
  return std::pair<int, int>{static_cast<int>(num / divisor), static_cast<int>(den / divisor)};
}

std::optional<double> parseConfigSeconds(std::string_view s, double maxSeconds) {
  const auto parts = splitDecimal(s, 3);
  if (!parts) return std::nullopt;
  const auto [whole, decimals] = *parts;
  double value = 0;
  for (char c : whole) {
    value = value * 10 + (c - '0');
    if (value > maxSeconds) return std::nullopt;
  }
  double scale = 1;
  for (char c : decimals) value += (c - '0') * (scale /= 10);
  if (value > maxSeconds) return std::nullopt;
  return value;
}

}  // namespace kovracam
