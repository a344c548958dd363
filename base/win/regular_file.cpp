#include "base/win/regular_file.h"

#include <windows.h>

#include <algorithm>

#include "base/win/win_handle.h"

namespace kovracam {
namespace {

FileRead outcome(FileRead::Outcome kind, std::string what) {
  FileRead result;
  result.outcome = kind;
  result.what = std::move(what);
  return result;
}

FileRead failed(DWORD error) {
  const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return outcome(missing ? FileRead::Outcome::Missing : FileRead::Outcome::Failed,
                 "Windows error " + std::to_string(error));
}

const char* kindOf(DWORD type) {
  switch (type) {
    case FILE_TYPE_PIPE:
      return "a pipe";
    case FILE_TYPE_CHAR:
      return "a character device";
    default:
      return "not a plain file";
  }
}

}  // namespace

FileRead readRegularFile(const std::wstring& path, std::size_t maxBytes) {
  // Shared for writing and deletion, so that a writer can replace the file while we read it.
  // FILE_FLAG_BACKUP_SEMANTICS opens a directory too, so that it can be named below.
  const WinHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return failed(GetLastError());
  const DWORD type = GetFileType(file.get());
  if (type != FILE_TYPE_DISK) return outcome(FileRead::Outcome::NotRegular, kindOf(type));
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file.get(), &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return outcome(FileRead::Outcome::NotRegular, "a directory");
  }

  FileRead result;
  result.outcome = FileRead::Outcome::Read;
  char chunk[4096];
  // One byte past the bound tells a file that is exactly maxBytes from a longer one.
  while (result.bytes.size() <= maxBytes) {
    const std::size_t want = std::min(sizeof chunk, maxBytes + 1 - result.bytes.size());
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, static_cast<DWORD>(want), &got, nullptr)) {
      return failed(GetLastError());
    }
    if (got == 0) return result;
    result.bytes.append(chunk, got);
  }
  result.bytes.resize(maxBytes);
  result.truncated = true;
  return result;
}

}  // namespace kovracam
