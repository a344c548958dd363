#pragma once
// The user-interface texts from a module's string-table resources.

#include <windows.h>

#include <optional>
#include <string>

#include "lang/ui_text_table.h"

namespace kovracam {

// The string with `id` in `module` (null: the program); nullopt when absent or empty.
std::optional<std::u16string> loadResourceString(HINSTANCE module, unsigned id);

// The program's own texts, read from its string-table resources.
UiTextSource programResourceTexts();

}  // namespace kovracam
