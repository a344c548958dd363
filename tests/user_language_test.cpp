// The messages locale and its LANGID.

#include "lang/user_language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace kovracam {
namespace {

TEST(UserLanguage, LocaleToLangId) {
  const std::map<std::string, std::optional<std::uint16_t>> cases = {
      {"", 0x0409},
      {"C", 0x0409},
      {"POSIX", 0x0409},
      {"C.UTF-8", 0x0409},
      {"en_US.UTF-8", 0x0409},
      {"de_DE.UTF-8", 0x0407},
      {"de_AT.UTF-8", 0x0C07},
      {"de_DE@euro", 0x0407},
      {"ja_JP.eucJP", 0x0411},
      {"zh_TW", 0x0404},
      {"pt_BR", 0x0416},
      {"pt_PT", 0x0816},
      {"de", 0x0407},
      {"pt", 0x0416},
      {"xx_YY", std::nullopt},
      {"zz", std::nullopt},
      {"de_XX", std::nullopt}};  // zz: past the last entry
  for (const auto& [locale, id] : cases) EXPECT_EQ(langIdForLocale(locale), id) << locale;
}

// messagesLocale() with LC_ALL, LC_MESSAGES, LANG and LANGUAGE set to `values` (empty counts as
// unset); the environment is put back afterwards.
std::string localeWith(const char* const (&values)[4]) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};
  std::optional<std::string> saved[4];
  for (int i = 0; i < 4; ++i) {
    if (const char* v = std::getenv(names[i])) saved[i] = v;
    ::setenv(names[i], values[i], 1);
  }
  const std::string locale = messagesLocale();
  for (int i = 0; i < 4; ++i) {
    saved[i] ? ::setenv(names[i], saved[i]->c_str(), 1) : ::unsetenv(names[i]);
  }
  return locale;
}

TEST(UserLanguage, MessagesLocaleFollowsGettext) {
  EXPECT_EQ(localeWith({"", "", "", ""}), "");
  EXPECT_EQ(localeWith({"", "fr_FR", "de_DE", ""}), "fr_FR");
  EXPECT_EQ(localeWith({"ja_JP", "fr_FR", "de_DE", ""}), "ja_JP");
  EXPECT_EQ(localeWith({"", "", "de_DE", "pt_BR:en"}), "pt_BR");
  EXPECT_EQ(localeWith({"", "", "C", "pt_BR"}), "C");  // LANGUAGE is ignored in the C locale
}

}  // namespace
}  // namespace kovracam
