#include "lang/win/ui_text_loading.h"

#include <windows.h>

#include <iostream>
#include <string>

#include "lang/win/language_module.h"
#include "lang/win/module_scan.h"
#include "lang/win/resource_texts.h"

namespace kovracam {
namespace {

// The current directory; empty when it cannot be read. Asked for its length first; should it
// change to a longer one between the two calls, asked again, a few times at most.
std::wstring currentDirectory() {
  DWORD length = GetCurrentDirectoryW(0, nullptr);  // the terminator included
  for (int attempt = 0; attempt < 3 && length > 0; ++attempt) {
    std::wstring directory(length, L'\0');
    const DWORD written = GetCurrentDirectoryW(length, directory.data());
    if (written == 0) break;
    if (written < length) return directory.substr(0, written);
    length = written;
  }
  return std::wstring();
}

}  // namespace

void LoadUiTexts(UiTextTable& table, unsigned count) {
  const std::wstring directory = currentDirectory();
  std::unique_ptr<LanguageModule> module;
  if (!directory.empty()) {
    // The separator is added even after a directory that ends in one (a drive's root).
    module =
        chooseLanguageModule(directory + L"\\Language\\", ::GetUserDefaultUILanguage(), std::cerr);
  }
  LoadUiTexts(table, count, module.get());
}  // the chosen module is freed here: the table holds copies

void LoadUiTexts(UiTextTable& table, unsigned count, const LanguageModule* module) {
  UiTextSource source = programResourceTexts();
  if (module) source = [module](unsigned id) { return module->loadString(id); };
  FillUiTexts(table, count, source);
}

}  // namespace kovracam
