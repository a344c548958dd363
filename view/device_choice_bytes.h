#pragma once
// "HardWare.KRV": the display name of the camera the user chose last, kept in the current
// directory. Layout: little-endian 32-bit count n, then n UTF-16LE code units; no terminator, no
// BOM. Here only its bytes; each platform reads and replaces the file itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/device/device_record.h"

namespace kovracam {

inline constexpr const char* kDeviceChoiceFileName = "HardWare.KRV";
// The most a file we wrote can hold; anything after it is never read.
inline constexpr std::size_t kDeviceChoiceMaxBytes = 4 + 2 * kDeviceFieldUnits;

// The file's bytes for `utf8DisplayName` cut to 259 UTF-16 code units; empty when the name is not
// valid UTF-8 (nothing is to be written then).
std::vector<std::uint8_t> encodeDeviceChoice(const std::string& utf8DisplayName);

// The stored name (UTF-8) from the file's first `size` bytes. nullopt when they cannot have been
// written by us: fewer than 4 bytes, a count above 259, text that is not valid UTF-16. The name
// ends at the first zero code unit, or where the bytes end when they hold fewer than the count.
std::optional<std::string> decodeDeviceChoice(const std::uint8_t* data, std::size_t size);
inline std::optional<std::string> decodeDeviceChoice(std::span<const std::uint8_t> bytes) {
  return decodeDeviceChoice(bytes.data(), bytes.size());
}

// Index of the last record whose display name equals `name` exactly; nullopt when none does.
std::optional<std::size_t> findDeviceChoice(const DeviceList& devices, const std::string& name);

}  // namespace kovracam
