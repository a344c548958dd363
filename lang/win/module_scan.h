#pragma once
// Chooses the language module for the user's interface language among the files of a folder.

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>

#include "lang/module_name.h"
#include "lang/win/language_module.h"

namespace kovracam {

// The first module, in the order the directory search returns the names, whose GetLanguageID
// equals `langId`; later files are never loaded, and nullptr when none matches. `folder` ends in
// a backslash. A folder that is a link or junction, and an entry that is a link, a junction or a
// folder, are skipped with one line on `warnings`: what they lead to lies outside the folder.
std::unique_ptr<LanguageModule> chooseLanguageModule(const std::wstring& folder, LANGID langId,
                                                     std::ostream& warnings);

}  // namespace kovracam
