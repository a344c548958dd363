#pragma once
// "HardWare.KRV": the display name of the camera the user chose last, in the current directory.
// Layout: little-endian 32-bit count n, then n UTF-16LE code units; no terminator, no BOM.

#include <iosfwd>
#include <optional>
#include <string>

#include "capture/device/device_record.h"

namespace kovracam {

inline constexpr const char* kDeviceChoiceFileName = "HardWare.KRV";

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

// Index of the last record whose display name equals `name` exactly; nullopt when none does.
std::optional<std::size_t> findDeviceChoice(const DeviceList& devices, const std::string& name);

}  // namespace kovracam
