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
      {"en_GB", 0x0809},
      {"de_DE.UTF-8", 0x0407},
      {"de_AT.UTF-8", 0x0C07},
      {"de_DE@euro", 0x0407},
      {"fr_CA", 0x0C0C},
      {"es_ES.UTF-8", 0x0C0A},
      {"ja_JP.eucJP", 0x0411},
      {"zh_CN.GB18030", 0x0804},
      {"zh_TW", 0x0404},
      {"pt_BR", 0x0416},
      {"pt_PT", 0x0816},
      {"uk_UA", 0x0422},
      {"de", 0x0407},
      {"pt", 0x0416},
      {"xx_YY", std::nullopt},
      {"de_XX", std::nullopt},
      {"fil_PH", 0x0464},
  };
  for (const auto& [locale, id] : cases) EXPECT_EQ(langIdForLocale(locale), id) << locale;
}

TEST(UserLanguage, MessagesLocaleFollowsGettext) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};
  const struct {
    const char* values[4];  // LC_ALL, LC_MESSAGES, LANG, LANGUAGE; nullptr unsets
    const char* locale;
  } cases[] = {
      {{nullptr, nullptr, nullptr, nullptr}, ""},
      {{nullptr, nullptr, "de_DE.UTF-8", nullptr}, "de_DE.UTF-8"},
      {{nullptr, "fr_FR", "de_DE", nullptr}, "fr_FR"},
      {{"ja_JP", "fr_FR", "de_DE", nullptr}, "ja_JP"},
      {{"", "", "de_DE", "pt_BR:en"}, "pt_BR"},
      {{nullptr, nullptr, "C", "pt_BR"}, "C"},  // LANGUAGE is ignored in the C locale
  };
  std::map<std::string, std::string> saved;
  for (const char* name : names) {
    if (const char* v = std::getenv(name)) saved[name] = v;
  }
  for (const auto& c : cases) {
    for (int i = 0; i < 4; ++i) {
      if (c.values[i]) {
        ::setenv(names[i], c.values[i], 1);
      } else {
        ::unsetenv(names[i]);
      }
    }
    EXPECT_EQ(messagesLocale(), c.locale) << c.values[2];
  }
  for (const char* name : names) {
    if (saved.count(name)) {
      ::setenv(name, saved[name].c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
}

}  // namespace
}  // namespace kovracam
