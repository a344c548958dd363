#include "lang/user_language.h"

#include <algorithm>
#include <cstdlib>

namespace kovracam {
namespace {

struct LocaleId {
  std::string_view name;  // "ll" (the default sublanguage) or "ll_TT"
  std::uint16_t id;
};

// Windows numbering. Sorted by name for the binary search below.
constexpr LocaleId kLocales[] = {
    {"af", 0x0436},    {"af_ZA", 0x0436},  {"ar", 0x0401},    {"ar_AE", 0x3801}, {"ar_EG", 0x0C01},
    {"ar_MA", 0x1801}, {"ar_SA", 0x0401},  {"az", 0x042C},    {"az_AZ", 0x042C}, {"be", 0x0423},
    {"be_BY", 0x0423}, {"bg", 0x0402},     {"bg_BG", 0x0402}, {"bn", 0x0445},    {"bn_BD", 0x0845},
    {"bn_IN", 0x0445}, {"ca", 0x0403},     {"ca_ES", 0x0403}, {"cs", 0x0405},    {"cs_CZ", 0x0405},
    {"da", 0x0406},    {"da_DK", 0x0406},  {"de", 0x0407},    {"de_AT", 0x0C07}, {"de_CH", 0x0807},
    {"de_DE", 0x0407}, {"de_LI", 0x1407},  {"de_LU", 0x1007}, {"el", 0x0408},    {"el_GR", 0x0408},
    {"en", 0x0409},    {"en_AU", 0x0C09},  {"en_CA", 0x1009}, {"en_GB", 0x0809}, {"en_IE", 0x1809},
    {"en_IN", 0x4009}, {"en_NZ", 0x1409},  {"en_SG", 0x4809}, {"en_US", 0x0409}, {"en_ZA", 0x1C09},
    {"es", 0x0C0A},    {"es_AR", 0x2C0A},  {"es_CL", 0x340A}, {"es_CO", 0x240A}, {"es_ES", 0x0C0A},
    {"es_MX", 0x080A}, {"es_US", 0x540A},  {"et", 0x0425},    {"et_EE", 0x0425}, {"eu", 0x042D},
    {"eu_ES", 0x042D}, {"fa", 0x0429},     {"fa_IR", 0x0429}, {"fi", 0x040B},    {"fi_FI", 0x040B},
    {"fil", 0x0464},   {"fil_PH", 0x0464}, {"fr", 0x040C},    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C},
    {"fr_CH", 0x100C}, {"fr_FR", 0x040C},  {"fr_LU", 0x140C}, {"gl", 0x0456},    {"gl_ES", 0x0456},
    {"he", 0x040D},    {"he_IL", 0x040D},  {"hi", 0x0439},    {"hi_IN", 0x0439}, {"hr", 0x041A},
    {"hr_HR", 0x041A}, {"hu", 0x040E},     {"hu_HU", 0x040E}, {"hy", 0x042B},    {"hy_AM", 0x042B},
    {"id", 0x0421},    {"id_ID", 0x0421},  {"is", 0x040F},    {"is_IS", 0x040F}, {"it", 0x0410},
    {"it_CH", 0x0810}, {"it_IT", 0x0410},  {"ja", 0x0411},    {"ja_JP", 0x0411}, {"ka", 0x0437},
    {"ka_GE", 0x0437}, {"kk", 0x043F},     {"kk_KZ", 0x043F}, {"ko", 0x0412},    {"ko_KR", 0x0412},
    {"lt", 0x0427},    {"lt_LT", 0x0427},  {"lv", 0x0426},    {"lv_LV", 0x0426}, {"mk", 0x042F},
    {"mk_MK", 0x042F}, {"mr", 0x044E},     {"mr_IN", 0x044E}, {"ms", 0x043E},    {"ms_MY", 0x043E},
    {"nb", 0x0414},    {"nb_NO", 0x0414},  {"nl", 0x0413},    {"nl_BE", 0x0813}, {"nl_NL", 0x0413},
    {"nn", 0x0814},    {"nn_NO", 0x0814},  {"no", 0x0414},    {"no_NO", 0x0414}, {"pl", 0x0415},
    {"pl_PL", 0x0415}, {"pt", 0x0416},     {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"ro", 0x0418},
    {"ro_RO", 0x0418}, {"ru", 0x0419},     {"ru_RU", 0x0419}, {"ru_UA", 0x0819}, {"sk", 0x041B},
    {"sk_SK", 0x041B}, {"sl", 0x0424},     {"sl_SI", 0x0424}, {"sq", 0x041C},    {"sq_AL", 0x041C},
    {"sr", 0x281A},    {"sr_RS", 0x281A},  {"sv", 0x041D},    {"sv_FI", 0x081D}, {"sv_SE", 0x041D},
    {"sw", 0x0441},    {"sw_KE", 0x0441},  {"ta", 0x0449},    {"ta_IN", 0x0449}, {"te", 0x044A},
    {"te_IN", 0x044A}, {"th", 0x041E},     {"th_TH", 0x041E}, {"tr", 0x041F},    {"tr_TR", 0x041F},
    {"uk", 0x0422},    {"uk_UA", 0x0422},  {"ur", 0x0420},    {"ur_PK", 0x0420}, {"vi", 0x042A},
    {"vi_VN", 0x042A}, {"zh", 0x0804},     {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004},
    {"zh_TW", 0x0404},
};

static_assert(std::is_sorted(std::begin(kLocales), std::end(kLocales),
                             [](const LocaleId& a, const LocaleId& b) { return a.name < b.name; }));

std::string_view env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool isCLocale(std::string_view locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  return locale.empty() || locale == "C" || locale == "POSIX";
}

}  // namespace

std::string messagesLocale() {
  std::string_view locale = env("LC_ALL");
  if (locale.empty()) locale = env("LC_MESSAGES");
  if (locale.empty()) locale = env("LANG");
  if (!isCLocale(locale)) {
    const std::string_view language = env("LANGUAGE");
    const std::string_view first = language.substr(0, language.find(':'));
    if (!first.empty()) locale = first;
  }
  return std::string(locale);
}

std::optional<std::uint16_t> langIdForLocale(std::string_view locale) {
  if (isCLocale(locale)) return 0x0409;
  const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
  const auto* it =
      std::lower_bound(std::begin(kLocales), std::end(kLocales), name,
                       [](const LocaleId& e, std::string_view n) { return e.name < n; });
  if (it == std::end(kLocales) || it->name != name) return std::nullopt;
  return it->id;
}

std::optional<std::uint16_t> GetUserDefaultUILanguage() {
  return langIdForLocale(messagesLocale());
}

}  // namespace kovracam
