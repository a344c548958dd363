#include "view/device_choice_file.h"

#include <cstdint>
#include <ostream>
#include <vector>

#include "lang/regular_file.h"
#include "lang/utf16.h"
#include "view/atomic_file.h"

namespace kovracam {

namespace {

constexpr std::size_t kCountBytes = 4;
// The most a file we wrote can hold; anything after it is never read.
constexpr std::size_t kMaxFileBytes = kCountBytes + 2 * kDeviceFieldUnits;

std::string pathIn(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

std::vector<std::uint8_t> encode(const std::u16string& units) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kCountBytes + 2 * units.size());
  const auto count = static_cast<std::uint32_t>(units.size());
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back((count >> shift) & 0xFF);
  for (char16_t unit : units) {
    bytes.push_back(unit & 0xFF);
    bytes.push_back(unit >> 8);
  }
  return bytes;
}

}  // namespace

std::optional<std::string> readDeviceChoice(const std::string& directory, std::ostream& warnings) {
  const std::string path = pathIn(directory, kDeviceChoiceFileName);
  // Anything after the longest name we write is never read.
  const FileRead file = readRegularFile(path, kMaxFileBytes);
  if (file.outcome == FileRead::Outcome::NotRegular || file.outcome == FileRead::Outcome::Failed) {
    warnings << "kovracam: " << path << " ignored: " << file.what << "\n";
  }
  if (file.outcome != FileRead::Outcome::Read || file.bytes.size() < kCountBytes) {
    return std::nullopt;
  }
  const auto* buffer = reinterpret_cast<const std::uint8_t*>(file.bytes.data());
  const std::size_t size = file.bytes.size();
  const std::uint32_t count = buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) |
                              (static_cast<std::uint32_t>(buffer[3]) << 24);
  if (count > kDeviceFieldUnits || kCountBytes + 2 * std::size_t{count} > size) {
    return std::nullopt;
  }
  std::u16string units;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* unit = buffer + kCountBytes + 2 * i;
    const auto value = static_cast<char16_t>(unit[0] | (unit[1] << 8));
    if (value == 0) break;
    units += value;
  }
  return utf16ToUtf8(units);
}

bool writeDeviceChoice(const std::string& directory, const std::string& displayName,
                       std::string* reason) {
  const auto units = utf8ToUtf16(truncateToUtf16Units(displayName, kDeviceFieldUnits));
  if (!units) {
    if (reason) *reason = "the name is not valid text";
    return false;
  }
  const std::vector<std::uint8_t> bytes = encode(*units);
  return writeFileAtomically(pathIn(directory, kDeviceChoiceFileName), bytes.data(), bytes.size(),
                             reason);
}

std::optional<std::size_t> findDeviceChoice(const DeviceList& devices, const std::string& name) {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < devices.pRecords.size(); ++i) {
    if (devices.pRecords[i].szDisplayName == name) found = i;
  }
  return found;
}

}  // namespace kovracam
