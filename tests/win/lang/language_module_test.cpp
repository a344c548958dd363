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

}  // namespace
}  // namespace kovracam
