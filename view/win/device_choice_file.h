#pragma once
// "HardWare.KRV" in a directory: the display name of the camera chosen last, in the bytes the
// Linux build writes (view/device_choice_bytes.h).

#include <optional>
#include <string>

namespace kovracam {

// `directory` followed by "\HardWare.KRV", the separator added unconditionally.
std::wstring deviceChoicePath(const std::wstring& directory);

// The stored name (UTF-8); nullopt when the file is missing, is no disk file, cannot be read or
// cannot have been written by us.
std::optional<std::string> readDeviceChoiceFile(const std::wstring& directory);

// Replaces the file atomically with `displayName`: written to a temporary file in the same
// directory, flushed, then moved over the old one. false when nothing was replaced.
bool writeDeviceChoiceFile(const std::wstring& directory, const std::string& displayName);

}  // namespace kovracam
