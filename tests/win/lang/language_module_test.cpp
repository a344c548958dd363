// Language modules as Windows loads them: string blocks read within their bounds, and the scan's
// choice among a folder's entries.

#include "lang/win/language_module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "lang/win/module_scan.h"

namespace kovracam {
namespace {

std::wstring besideTests(const wchar_t* name) {
  wchar_t exe[MAX_PATH];
  const std::wstring path(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  return path.substr(0, path.rfind(L'\\') + 1) + name;
}

TEST(LanguageModuleWin, AStringRunningPastItsBlockIsAbsent) {
  const auto module = LanguageModule::open(besideTests(L"overrun.dll"));
  ASSERT_TRUE(module);
  EXPECT_EQ(module->languageId(), 0x0407u);
  EXPECT_EQ(module->loadString(5019), u"O 5019");
  EXPECT_EQ(module->loadString(5020), std::nullopt);
  EXPECT_EQ(module->loadString(5001), std::nullopt);  // no block 313
}

TEST(LanguageScanWin, SkipsAFolderAndTakesAnUpperCaseName) {
  const std::wstring folder = besideTests(L"scan\\");
  CreateDirectoryW(folder.c_str(), nullptr);
  CreateDirectoryW((folder + L"a.dll").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(besideTests(L"overrun.dll").c_str(), (folder + L"B.DLL").c_str(), FALSE));
  std::ostringstream warnings;
  EXPECT_FALSE(chooseLanguageModule(folder, 0x0C07, warnings));
  EXPECT_TRUE(chooseLanguageModule(folder, 0x0407, warnings));
  const std::string text = warnings.str();  // a line from each scan
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_NE(text.find("a.dll skipped: a folder\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace kovracam
