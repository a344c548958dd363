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

UiTextSource programResourceTexts() {
  return [](unsigned id) { return loadResourceString(nullptr, id); };
}

}  // namespace kovracam
