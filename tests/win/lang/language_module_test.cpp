// A language module as Windows loads it, its string blocks read within their bounds.

#include "lang/win/language_module.h"

#include <gtest/gtest.h>

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

// A module's own imports come from its folder or the system's, never from the current one.
TEST(LanguageModuleWin, ImportsComeFromTheModulesFolderAlone) {
  const std::wstring module = besideTests(L"needs_planted\\de.dll");
  const std::wstring planted = besideTests(L"planted\\planted.dll");
  wchar_t current[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, current);
  SetCurrentDirectoryW(besideTests(L"planted").c_str());
  EXPECT_FALSE(LanguageModule::open(module));
  SetCurrentDirectoryW(current);
  const std::wstring beside = besideTests(L"needs_planted\\planted.dll");
  ASSERT_TRUE(CopyFileW(planted.c_str(), beside.c_str(), FALSE));
  EXPECT_TRUE(LanguageModule::open(module));
  DeleteFileW(beside.c_str());
}

}  // namespace
}  // namespace kovracam
