#pragma once
// Virtual cameras: test-pattern sources listed after the real devices, one per line of the file
// named by KOVRACAM_VIRTUAL_CAMERAS. The file is read again at every enumeration.
//
//   id=front; name=Front Camera; formats=YUY2 640x480@30, RGB24 320x240@7.5; pattern=ball;
//   powerline=60

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/file_read.h"
#include "capture/device/capture_format.h"
#include "capture/virtual/virtual_camera_platform.h"

namespace kovracam {

inline constexpr const char* kVirtualCamerasEnv = "KOVRACAM_VIRTUAL_CAMERAS";
inline constexpr const char* kVirtualDisplayPrefix = "virtual:";
// A list of cameras is a few lines; a file much larger is not one, and is not read.
inline constexpr std::size_t kMaxVirtualCameraFileBytes = 1 << 20;

enum class PowerLineSetting { None, Off, Hz50, Hz60, Auto };

struct VirtualCamera {
  std::string id;
  std::string name;
  std::vector<CaptureFormat> formats;  // the first is current when the camera is opened
  std::string pattern = "smpte";
  PowerLineSetting powerline = PowerLineSetting::Hz50;

  std::string displayName() const { return kVirtualDisplayPrefix + id; }
};

// Parses the file's text. Each malformed line is skipped with one line on `diagnostics` naming
// fileName, the line number and the fault. Ids and patterns are checked through `platform`.
std::vector<VirtualCamera> parseVirtualCameras(std::istream& in, const std::string& fileName,
                                               std::ostream& diagnostics,
                                               const VirtualCameraPlatform& platform);

// The cameras of the file as `read`; none, with one line on `diagnostics`, when it could not be
// read whole (missing, not a plain file, larger than kMaxVirtualCameraFileBytes).
std::vector<VirtualCamera> parseVirtualCameraFile(const FileRead& read, const std::string& fileName,
                                                  std::ostream& diagnostics,
                                                  const VirtualCameraPlatform& platform);

}  // namespace kovracam
