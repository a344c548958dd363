#include "view/win/device_choice_file.h"

#include <windows.h>

#include <cstdint>
#include <iostream>
#include <vector>

#include "base/win/regular_file.h"
#include "base/win/wide_text.h"
#include "base/win/win_handle.h"
#include "view/device_choice_bytes.h"

namespace kovracam {
namespace {

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
  const std::wstring path = deviceChoicePath(directory);
  const FileRead file = readRegularFile(path, kDeviceChoiceMaxBytes);
  if (file.outcome == FileRead::Outcome::NotRegular || file.outcome == FileRead::Outcome::Failed) {
    std::cerr << "kovracam: " << narrowToUtf8(path) << " ignored: " << file.what << "\n";
  }
  if (file.outcome != FileRead::Outcome::Read) return std::nullopt;
  return decodeDeviceChoice(reinterpret_cast<const std::uint8_t*>(file.bytes.data()),
                            file.bytes.size());
}

bool writeDeviceChoiceFile(const std::wstring& directory, const std::string& displayName) {
  const std::vector<std::uint8_t> bytes = encodeDeviceChoice(displayName);
  if (bytes.empty()) return false;
  const std::wstring temporary = makeTemporaryFile(directory);
  if (temporary.empty()) return false;
  WinHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
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
