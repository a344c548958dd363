#include "lang/win/resource_texts.h"

#include "lang/string_table.h"

namespace kovracam {

std::optional<std::u16string> loadResourceString(HMODULE module, unsigned id) {
  // The block's integer name is id / 16 + 1; no language named.
  const HRSRC block = FindResourceW(module, MAKEINTRESOURCEW(stringBlockId(id)), RT_STRING);
  if (!block) return std::nullopt;
  const HGLOBAL loaded = LoadResource(module, block);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return std::nullopt;
  return loadStringFromBlockBytes(bytes, SizeofResource(module, block), id);
}

UiTextSource programResourceTexts() {
  return [](unsigned id) { return loadResourceString(nullptr, id); };
}

}  // namespace kovracam
