#include "view/device_choice_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "lang/file_descriptor.h"
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

// Reads up to `size` bytes; the number read, or -1 on a read error.
long readUpTo(int fd, std::uint8_t* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
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

std::optional<std::string> readDeviceChoice(const std::string& directory) {
  const FileDescriptor fd(
      ::open(pathIn(directory, kDeviceChoiceFileName).c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::uint8_t buffer[kMaxFileBytes];
  const long size = readUpTo(fd.get(), buffer, sizeof buffer);
  if (size < static_cast<long>(kCountBytes)) return std::nullopt;

  const std::uint32_t count = buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) |
                              (static_cast<std::uint32_t>(buffer[3]) << 24);
  if (count > kDeviceFieldUnits ||
      kCountBytes + 2 * std::size_t{count} > static_cast<std::size_t>(size)) {
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

bool writeDeviceChoice(const std::string& directory, const std::string& displayName) {
  const auto units = utf8ToUtf16(truncateToUtf16Units(displayName, kDeviceFieldUnits));
  if (!units) return false;
  const std::vector<std::uint8_t> bytes = encode(*units);

  return writeFileAtomically(pathIn(directory, kDeviceChoiceFileName), bytes.data(), bytes.size());
}

std::optional<std::size_t> findDeviceChoice(const DeviceList& devices, const std::string& name) {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < devices.pRecords.size(); ++i) {
    if (devices.pRecords[i].szDisplayName == name) found = i;
  }
  return found;
}

}  // namespace kovracam
