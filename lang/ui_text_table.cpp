#include "lang/ui_text_table.h"

#include "lang/string_table.h"

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
  for (unsigned i = 0; i < count && i < table.size(); ++i) {
    if (auto text = loadString(programStringBlocks(), kFirstUiStringId + i)) {
      table.set(static_cast<int>(i), toQString(*text));
    }
  }
}

QString programTitle() {
  const auto text = loadString(programStringBlocks(), kTitleStringId);
  return text ? toQString(*text) : QStringLiteral("KOVRACAM");
}

}  // namespace kovracam
