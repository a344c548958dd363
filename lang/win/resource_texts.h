#pragma once
// Strings from a module's string-table resources (RT_STRING, 16 strings to a block).

#include <windows.h>

#include <optional>
#include <string>

#include "lang/ui_text_table.h"

namespace kovracam {

// The string with `id` in `module` (null: the program); nullopt when its block is missing or
// cannot be loaded, or the string is absent or empty. The block is taken in the platform's
// default choice among the module's resource languages, and nothing past its end is read.
std::optional<std::u16string> loadResourceString(HMODULE module, unsigned id);

// The program's own texts, read from its string-table resources.
UiTextSource programResourceTexts();

}  // namespace kovracam
