#pragma once
// The user-interface texts from the language module in the folder Language of the current
// directory.

#include "lang/ui_text_table.h"

namespace kovracam {

class LanguageModule;

// Chooses the language module for the user's interface language in the folder Language of the
// current directory and fills entries 0 .. count-1 from it; from the program's own string table
// when none qualifies.
void LoadUiTexts(UiTextTable& table, unsigned count);
// Fills entries 0 .. count-1 from `module`, or from the program's own string table when it is
// null. Entries the source lacks stay empty.
void LoadUiTexts(UiTextTable& table, unsigned count, const LanguageModule* module);

}  // namespace kovracam
