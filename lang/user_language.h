#pragma once
// The user's interface language as a LANGID (primary language in bits 0-9, sublanguage in bits
// 10-15), taken from the POSIX messages locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovracam {

// The messages locale as gettext resolves it: LC_ALL, else LC_MESSAGES, else LANG; when that is
// not C or POSIX, the first entry of LANGUAGE takes precedence.
std::string messagesLocale();

// "de_AT.UTF-8@euro" -> 0x0C07; a language without territory takes its default sublanguage;
// C, POSIX or empty -> 0x0409; a locale the table does not know -> nullopt.
std::optional<std::uint16_t> langIdForLocale(std::string_view locale);

// nullopt matches no language module.
std::optional<std::uint16_t> GetUserDefaultUILanguage();

}  // namespace kovracam
