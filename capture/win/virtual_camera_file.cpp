#include "capture/win/virtual_camera_file.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

#include "base/win/regular_file.h"
#include "base/win/wide_text.h"
#include "capture/win/virtual/win_camera_platform.h"

namespace kovracam {
namespace {

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

}  // namespace

std::vector<VirtualCamera> loadVirtualCamerasFromEnvironment(std::ostream& diagnostics) {
  const auto path = environmentValue(widenUtf8(kVirtualCamerasEnv).c_str());
  if (!path || path->empty()) return {};
  const std::string pathText = narrowToUtf8(*path);
  return parseVirtualCameraFile(readRegularFile(*path, kMaxVirtualCameraFileBytes), pathText,
                                diagnostics, winVirtualCameraPlatform());
}

}  // namespace kovracam
