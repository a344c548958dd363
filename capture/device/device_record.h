#pragma once
// One enumerated video-input device and the list of them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kovracam {

// Each field holds at most 259 UTF-16 code units (260 with the terminator the device-choice
// file and the menu were designed around); longer values are cut.
inline constexpr std::size_t kDeviceFieldUnits = 259;

// At most this many devices can be chosen from the Device menu (ids 32772 to 32788).
inline constexpr std::size_t kMaxListedDevices = 17;

struct DeviceRecord {
  std::string szDisplayName;   // UTF-8; the device's stable identity
  std::string szFriendlyName;  // UTF-8; the Device menu text
  std::string szDevicePath;    // UTF-8; the node, or the virtual camera's display name
};

struct DeviceList {
  std::vector<DeviceRecord> pRecords;
  std::uint32_t nCount() const { return static_cast<std::uint32_t>(pRecords.size()); }
  void clear() { pRecords.clear(); }
};

// Cuts text to at most kDeviceFieldUnits UTF-16 code units, never inside a character.
std::string boundedDeviceField(const std::string& utf8);

}  // namespace kovracam
