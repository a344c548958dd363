#include "lang/win/ui_text_loading.h"

#include <windows.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "lang/win/language_module.h"
#include "lang/win/module_scan.h"
#include "lang/win/resource_texts.h"

namespace kovracam {
namespace {

// The current directory; empty when it cannot be read.
std::wstring currentDirectory() {
  std::error_code error;
  std::filesystem::path directory = std::filesystem::current_path(error);
  return error ? std::wstring() : directory.wstring();
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
