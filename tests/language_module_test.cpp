// The choice of a language module in a scratch Language folder, with modules built from
// tests/lang/test_language_module.cpp, and the texts the table takes from it; the user's language.

#include "lang/linux/module_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "lang/linux/ui_text_loading.h"
#include "lang/ui_text_table.h"
#include "lang/user_language.h"
#include "tests/test_env.h"

namespace kovracam {
namespace {

namespace fs = std::filesystem;

const char* const kBuiltInVersion = "KORVACAM Version 20081229";

// A Language folder with copies of the test modules; each module's initialiser logs its tag.
class LanguageFolder {
 public:
  LanguageFolder() {
    fs::create_directory(folder());
    fs::permissions(folder(), fs::perms(0755));
    ::setenv("KOVRACAM_TEST_MODULE_LOG", (root_.path() / "init.log").c_str(), 1);
  }
  ~LanguageFolder() { ::unsetenv("KOVRACAM_TEST_MODULE_LOG"); }
  fs::path folder() const { return root_.path() / "Language"; }
  void install(const std::string& name, const std::string& module) const {
    fs::copy_file(fs::path(KOVRACAM_TEST_MODULES) / (module + ".so"), folder() / name);
    fs::permissions(folder() / name, fs::perms(0755));
  }
  std::string initialisers() const {
    std::ifstream in(root_.path() / "init.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The table as the frame builds it, with the warnings printed meanwhile.
  std::pair<UiTextTable, std::string> load(std::optional<std::uint16_t> langId) const {
    std::ostringstream warnings;
    UiTextTable table(kUiTextCount);
    auto module = chooseLanguageModule(folder(), langId, warnings);
    LoadUiTexts(table, kUiTextCount, module.get());
    return {std::move(table), warnings.str()};
  }

 private:
  testing::ScratchDirectory root_;  // holds Language and init.log
};

// The choice: each case installs its files, then reads the version text and which modules ran.
TEST(LanguageScan, ChoosesTheFirstMatchingModuleInByteOrder) {
  const struct {
    std::vector<std::pair<std::string, std::string>> files;  // name in Language, test module
    std::optional<std::uint16_t> langId;
    const char* version;                                  // entry IDS_ABOUT_VERSION
    const char* initialisers;                             // tags of the modules opened, in order
    std::vector<std::pair<int, const char*>> texts = {};  // more entries, empty where it lacks them
  } cases[] = {// Installed b first: the choice must not follow the file system's listing order.
               {{{"b.dll", "module_b"}, {"a.dll", "module_a"}}, 0x0407, "A 5002", "A\n"},
               {{{"A.DLL", "module_a"}}, 0x0407, "A 5002", "A\n"},
               {{{"a.dll", "module_wide"}, {"b.dll", "module_b"}}, 0x0407, "B 5002", "W\nB\n"},
               {{{"a.dll", "module_no_id"}, {"b.dll", "module_b"}}, 0x0407, "B 5002", "I\nB\n"},
               {{{"a.dll.bak", "module_a"}, {"dll", "module_a"}}, 0x0407, kBuiltInVersion, ""},
               {{{"a.dll", "module_a"}}, 0x0C07, kBuiltInVersion, "A\n"},  // another sublanguage
               {{{"a.dll", "module_a"}}, std::nullopt, kBuiltInVersion, "A\n"},  // unknown locale
               {{{"x.dll", "module_no_strings"}}, 0x0407, "", "S\n", {{IDS_MENU_FILE, ""}}},
               {{{"x.dll", "module_no_5019"}},
                0x0407,
                "M 5002",
                "M\n",
                {{IDS_MENU_CAPTURE, ""}, {IDS_MENU_OPTION, "M 5018"}}},
               // The block ends inside the last string the table takes.
               {{{"x.dll", "module_overrun"}},
                0x0407,
                "O 5002",
                "O\n",
                {{IDS_OK, ""}, {IDS_MENU_CAPTURE, "O 5019"}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.front().first + " " + c.files.front().second);
    LanguageFolder dir;
    for (const auto& [name, module] : c.files) dir.install(name, module);
    const auto [table, warnings] = dir.load(c.langId);
    EXPECT_EQ(QString::fromStdU16String(table[IDS_ABOUT_VERSION]), c.version);
    EXPECT_EQ(dir.initialisers(), c.initialisers);
    EXPECT_EQ(warnings, "");
    for (const auto& [id, text] : c.texts)
      EXPECT_EQ(QString::fromStdU16String(table[id]), text) << id;
  }
}

// Nothing anyone but the user (or root) could have put there is loaded; one line says why.
TEST(LanguageScan, SkipsWhatOthersCouldHavePlanted) {
  const struct {
    const char* what;
    void (*plant)(const LanguageFolder&);
    const char* warning;
    const char* version;
  } cases[] = {
      {"world-writable module",
       [](const LanguageFolder& d) {
         d.install("a.dll", "module_a");
         fs::permissions(d.folder() / "a.dll", fs::perms(0757));
       },
       "a.dll skipped: writable by group or others", "B 5002"},
      {"directory", [](const LanguageFolder& d) { fs::create_directory(d.folder() / "a.dll"); },
       "a.dll skipped: not a regular file", "B 5002"},
      {"dangling link is not even opened",
       [](const LanguageFolder& d) { fs::create_symlink("/nonexistent", d.folder() / "a.dll"); },
       "", "B 5002"},
      {"someone else's module",
       [](const LanguageFolder& d) {
         d.install("a.dll", "module_a");
         [[maybe_unused]] const int given = ::chown((d.folder() / "a.dll").c_str(), 65534, 65534);
       },
       "a.dll skipped: owned by another user", "B 5002"},
      {"group-writable folder",
       [](const LanguageFolder& d) { fs::permissions(d.folder(), fs::perms(0775)); },
       "Language skipped: writable by group or others", kBuiltInVersion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Only root can give a file away.
    if (std::string(c.what) == "someone else's module" && ::geteuid() != 0) continue;
    LanguageFolder dir;
    c.plant(dir);
    dir.install("b.dll", "module_b");
    const auto [table, warnings] = dir.load(0x0407);
    EXPECT_EQ(QString::fromStdU16String(table[IDS_ABOUT_VERSION]), c.version);
    EXPECT_EQ(dir.initialisers(), c.version == kBuiltInVersion ? "" : "B\n");
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), *c.warning ? 1 : 0);
    EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
  }
}

// Not only root's files count as the user's own: a user's own module is taken.
TEST(LanguageScan, TakesTheUsersOwnModule) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
  LanguageFolder dir;
  fs::permissions(dir.folder().parent_path(), fs::perms(0755));
  dir.install("a.dll", "module_a");
  ASSERT_EQ(::chown((dir.folder() / "a.dll").c_str(), 65534, 65534), 0);
  const pid_t child = ::fork();
  if (child == 0) {  // the user nobody, in a process of its own
    std::ostringstream warnings;
    const bool taken =
        ::seteuid(65534) == 0 && chooseLanguageModule(dir.folder(), 0x0407, warnings) != nullptr;
    ::_exit(taken ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the user's own module was refused";
}

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
