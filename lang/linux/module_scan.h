#pragma once
// Chooses the language module for the user's interface language among the files of a folder.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include "lang/linux/language_module.h"
#include "lang/module_name.h"

namespace kovracam {

// The first module, in byte order of the file names, whose GetLanguageID equals `langId`; later
// files are never opened, and nullptr when none matches. A folder or file that others could have
// planted (writable by group or others, owned by someone else) or that is not a regular file is
// skipped with one line on `warnings`.
std::unique_ptr<LanguageModule> chooseLanguageModule(const std::filesystem::path& folder,
                                                     std::optional<std::uint16_t> langId,
                                                     std::ostream& warnings);

}  // namespace kovracam
