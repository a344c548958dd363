#include "capture/win/virtual_camera_file.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "capture/win/virtual/win_camera_platform.h"
#include "capture/win/win_handle.h"
#include "lang/utf16.h"

namespace kovracam {
namespace {

// A list of cameras is a few lines; anything much larger is not one.
constexpr LONGLONG kMaxFileBytes = kMaxVirtualCameraFileBytes;

std::optional<std::wstring> environmentValue(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return std::nullopt;  // unset (or empty)
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: length includes the terminator now
  }
  return std::nullopt;
}

std::string toUtf8(const std::wstring& text) {
  const std::u16string units(text.begin(), text.end());
  return utf16ToUtf8(units).value_or("?");
}

std::string systemMessage(DWORD error) { return "Windows error " + std::to_string(error); }

// The whole file, or nullopt with `fault` set. Only a disk file is read: a pipe, console or
// device could block the enumeration.
std::optional<std::string> readSmallFile(const std::wstring& path, std::string& fault) {
  WinHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    fault = systemMessage(GetLastError());
    return std::nullopt;
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    fault = "not a plain file";
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    fault = systemMessage(GetLastError());
    return std::nullopt;
  }
  if (size.QuadPart > kMaxFileBytes) {
    fault = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
    return std::nullopt;
  }
  std::string text;
  char chunk[4096];
  while (true) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
      fault = systemMessage(GetLastError());
      return std::nullopt;
    }
    if (got == 0) return text;
    text.append(chunk, got);
    if (static_cast<LONGLONG>(text.size()) > kMaxFileBytes) {  // grew while we read
      fault = "larger than " + std::to_string(kMaxFileBytes) + " bytes";
      return std::nullopt;
    }
  }
}

}  // namespace

std::vector<VirtualCamera> loadVirtualCamerasFromEnvironment(std::ostream& diagnostics) {
  const std::u16string nameUnits = utf8ToUtf16(kVirtualCamerasEnv).value_or(u"");
  const std::wstring name(nameUnits.begin(), nameUnits.end());
  const auto path = environmentValue(name.c_str());
  if (!path || path->empty()) return {};
  const std::string pathText = toUtf8(*path);
  std::string fault;
  const auto text = readSmallFile(*path, fault);
  if (!text) {
    diagnostics << pathText << ": cannot read the virtual camera list (" << fault << ")\n";
    return {};
  }
  std::istringstream in(*text);
  return parseVirtualCameras(in, pathText, diagnostics, winVirtualCameraPlatform());
}

}  // namespace kovracam
