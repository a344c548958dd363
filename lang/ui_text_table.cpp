#include "lang/ui_text_table.h"

#include "lang/string_table.h"

namespace kovracam {

unsigned CountUiTexts() {
  unsigned count = 0;
  while (loadString(programStringBlocks(), kFirstUiStringId + count)) ++count;
  return count;
}

void FillUiTexts(UiTextTable& table, unsigned count, const UiTextSource& module) {
  for (unsigned i = 0; i < count && i < table.size(); ++i) {
    const unsigned id = kFirstUiStringId + i;
    if (auto text = module ? module(id) : loadString(programStringBlocks(), id)) {
      table.set(static_cast<int>(i), *text);
    }
  }
}

std::u16string programTitle() {
  const auto text = loadString(programStringBlocks(), kTitleStringId);
  return text ? *text : u"KOVRACAM";
}

}  // namespace kovracam
