#include "lang/linux/ui_text_loading.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "lang/linux/language_module.h"
#include "lang/linux/module_scan.h"
#include "lang/user_language.h"

namespace kovracam {

void LoadUiTexts(UiTextTable& table, unsigned count) {
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  std::unique_ptr<LanguageModule> module;
  if (!error) {
    module = chooseLanguageModule(cwd / "Language", GetUserDefaultUILanguage(), std::cerr);
  }
  LoadUiTexts(table, count, module.get());
}  // the chosen module is closed here: the table holds copies

void LoadUiTexts(UiTextTable& table, unsigned count, const LanguageModule* module) {
  UiTextSource source;
  if (module) source = [module](unsigned id) { return module->loadString(id); };
  FillUiTexts(table, count, source);
}

}  // namespace kovracam
