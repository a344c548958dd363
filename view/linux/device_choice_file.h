#pragma once
// Reading and replacing "HardWare.KRV" in a directory (its bytes: view/device_choice_bytes.h).

#include <iosfwd>
#include <optional>
#include <string>

#include "view/device_choice_bytes.h"

namespace kovracam {

// The stored name (UTF-8). nullopt when the file is missing or unreadable, or cannot have been
// written by us (count above 259 or above what the file holds, text that is not valid UTF-16).
// The name ends at the first zero code unit. Anything but a regular file in its place (a pipe,
// a device, a directory) counts as missing, with one line on `warnings`.
std::optional<std::string> readDeviceChoice(const std::string& directory, std::ostream& warnings);

// Replaces the file atomically (temporary file in the same directory, then rename) with
// `displayName` cut to 259 UTF-16 code units. false when nothing could be written; the old file,
// if any, is then left as it was, and `reason` says why.
bool writeDeviceChoice(const std::string& directory, const std::string& displayName,
                       std::string* reason = nullptr);

}  // namespace kovracam
