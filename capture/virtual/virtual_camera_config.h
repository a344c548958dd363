#pragma once
// Virtual cameras: test-pattern sources listed after the real devices, one per line of the file
// named by KOVRACAM_VIRTUAL_CAMERAS. The file is read again at every enumeration.
//
//   id=front; name=Front Camera; formats=YUY2 640x480@30, RGB24 320x240@7.5; pattern=ball;
//   powerline=60; pins=capture, preview, still; unplug=stream+5; stall=2+1.5; end=30;
//   busy=no

#include <cstddef>
#include <iosfwd>
#include <optional>
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
  // The pins of the Windows filter beside "Capture", as capture cards and UVC cameras have them;
  // the Linux build has one stream and no pins.
  bool previewPin = false;
  bool stillPin = false;
  // Faults, as a failing camera shows them (the Windows build; the Linux one has v4l2sim):
  // lost `unplugAfterStream` seconds after its stream starts, and from then on; no frame from
  // `stallAt` seconds into the stream for `stallFor` seconds; the stream ended `endAfter`
  // seconds after it starts, as a source that has run dry ends it, the device still there.
  std::optional<double> unplugAfterStream = std::nullopt;
  std::optional<double> stallAt = std::nullopt;
  double stallFor = 0;
  std::optional<double> endAfter = std::nullopt;
  // In use by another program: listed and opened, but its stream cannot start.
  bool busy = false;

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
