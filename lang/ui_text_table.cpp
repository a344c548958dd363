#include "lang/ui_text_table.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include "lang/language_module.h"
#include "lang/module_scan.h"
#include "lang/string_table.h"
#include "lang/user_language.h"

namespace kovracam {
namespace {

QString toQString(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

unsigned CountUiTexts() {
  unsigned count = 0;
  while (loadString(programStringBlocks(), kFirstUiStringId + count)) ++count;
  return count;
}

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
  for (unsigned i = 0; i < count && i < table.size(); ++i) {
    const unsigned id = kFirstUiStringId + i;
    if (auto text = module ? module->loadString(id) : loadString(programStringBlocks(), id)) {
      table.set(static_cast<int>(i), toQString(*text));
    }
  }
}

QString programTitle() {
  const auto text = loadString(programStringBlocks(), kTitleStringId);
  return text ? toQString(*text) : QStringLiteral("KOVRACAM");
}

}  // namespace kovracam
