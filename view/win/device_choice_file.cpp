#include "view/win/device_choice_file.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "app/win/handles.h"
#include "lang/win/wide_text.h"
#include "view/device_choice_bytes.h"

namespace kovracam {
namespace {

// The file, if it holds no more than a file we write can hold; one byte more tells it is longer.
std::optional<std::vector<std::uint8_t>> readBounded(HANDLE file, std::size_t limit) {
  std::vector<std::uint8_t> bytes(limit + 1);
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                  nullptr)) {
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

bool writeAll(HANDLE file, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                   nullptr) ||
        put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

// A new, empty file in `directory` that no one else uses; empty when none could be made.
std::wstring makeTemporaryFile(const std::wstring& directory) {
  wchar_t name[MAX_PATH] = {};
  if (!GetTempFileNameW(directory.c_str(), L"krv", 0, name)) return {};
  return name;
}

}  // namespace

std::wstring deviceChoicePath(const std::wstring& directory) {
  return directory + L"\\" + widenUtf8(kDeviceChoiceFileName);
}

std::optional<std::string> readDeviceChoiceFile(const std::wstring& directory) {
  // Shared for deletion, so that a writer can replace the file while we read it.
  const ScopedHandle file(CreateFileW(deviceChoicePath(directory).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  // Only a disk file: a device or pipe could block the read or never end.
  if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
  const auto bytes = readBounded(file.get(), kDeviceChoiceMaxBytes);
  if (!bytes) return std::nullopt;
  return decodeDeviceChoice(std::span<const std::uint8_t>(*bytes));
}

bool writeDeviceChoiceFile(const std::wstring& directory, const std::string& displayName) {
  const std::vector<std::uint8_t> bytes = encodeDeviceChoice(displayName);
  if (bytes.empty()) return false;
  const std::wstring temporary = makeTemporaryFile(directory);
  if (temporary.empty()) return false;
  ScopedHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  // Only a complete, flushed file may take the old one's place.
  const bool written =
      file.valid() && writeAll(file.get(), bytes) && FlushFileBuffers(file.get()) && file.reset();
  if (written && MoveFileExW(temporary.c_str(), deviceChoicePath(directory).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  file.reset();
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace kovracam
