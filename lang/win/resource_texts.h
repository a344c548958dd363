#pragma once
// The user-interface texts from a module's string-table resources.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "lang/ui_text_table.h"

namespace kovracam {

// The string with `id` in `module` (null: the program); nullopt when absent or empty.
std::optional<std::u16string> loadResourceString(HINSTANCE module, unsigned id);

// The table filled from the program's own string table: as many entries as there are
// consecutive non-empty strings from 5001.
std::unique_ptr<UiTextTable> loadProgramUiTexts();

}  // namespace kovracam
