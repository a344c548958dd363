#include "view/device_choice_bytes.h"

#include <algorithm>

#include "base/utf16.h"

namespace kovracam {

namespace {

constexpr std::size_t kCountBytes = 4;

}  // namespace

std::vector<std::uint8_t> encodeDeviceChoice(const std::string& utf8DisplayName) {
  const auto units = utf8ToUtf16(truncateToUtf16Units(utf8DisplayName, kDeviceFieldUnits));
  if (!units) return {};
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kCountBytes + 2 * units->size());
  const auto count = static_cast<std::uint32_t>(units->size());
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back((count >> shift) & 0xFF);
  for (char16_t unit : *units) {
    bytes.push_back(unit & 0xFF);
    bytes.push_back(unit >> 8);
  }
  return bytes;
}

std::optional<std::string> decodeDeviceChoice(const std::uint8_t* data, std::size_t size) {
  if (size < kCountBytes) return std::nullopt;
  const std::uint32_t count =
      data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  if (count > kDeviceFieldUnits) return std::nullopt;
  // A file cut short keeps the characters it still holds: the name ends where the data does,
  // and a last odd byte is the low half of its unit, as when the bytes land in a zeroed buffer.
  const std::size_t end = std::min(size, kCountBytes + 2 * std::size_t{count});
  std::u16string units;
  for (std::size_t at = kCountBytes; at < end; at += 2) {
    const int high = at + 1 < end ? data[at + 1] : 0;
    const auto value = static_cast<char16_t>(data[at] | (high << 8));
    if (value == 0) break;
    units += value;
  }
  return utf16ToUtf8(units);
}

std::optional<std::size_t> findDeviceChoice(const DeviceList& devices, const std::string& name) {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < devices.pRecords.size(); ++i) {
    if (devices.pRecords[i].szDisplayName == name) found = i;
  }
  return found;
}

}  // namespace kovracam
