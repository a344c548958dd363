#include "lang/win/resource_texts.h"

namespace kovracam {

std::optional<std::u16string> loadResourceString(HINSTANCE module, unsigned id) {
  const wchar_t* text = nullptr;
  // With no buffer LoadStringW gives the resource's own, unterminated text and its length.
  const int length = LoadStringW(module ? module : GetModuleHandleW(nullptr), id,
                                 reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return std::nullopt;
  return std::u16string(text, text + length);
}

std::unique_ptr<UiTextTable> loadProgramUiTexts() {
  unsigned count = 0;
  while (loadResourceString(nullptr, kFirstUiStringId + count)) ++count;
  auto table = std::make_unique<UiTextTable>(count);
  for (unsigned i = 0; i < count; ++i) {
    if (auto text = loadResourceString(nullptr, kFirstUiStringId + i)) {
      table->set(static_cast<int>(i), *text);
    }
  }
  return table;
}

}  // namespace kovracam
