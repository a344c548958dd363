#include "capture/linux/virtual/virtual_camera_file.h"

#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>

#include "capture/linux/virtual/gst_camera_platform.h"
#include "lang/linux/regular_file.h"

namespace kovracam {

std::vector<VirtualCamera> loadVirtualCameras(std::ostream& diagnostics) {
  const char* path = std::getenv(kVirtualCamerasEnv);
  if (path == nullptr || *path == '\0') return {};
  const FileRead file = readRegularFile(path, kMaxVirtualCameraFileBytes);
  if (file.outcome != FileRead::Outcome::Read || file.truncated) {
    const std::string fault =
        file.outcome != FileRead::Outcome::Read
            ? file.what
            : "larger than " + std::to_string(kMaxVirtualCameraFileBytes) + " bytes";
    diagnostics << path << ": cannot read the virtual camera list (" << fault << ")\n";
    return {};
  }
  std::istringstream in(file.bytes);
  return parseVirtualCameras(in, path, diagnostics, gstVirtualCameraPlatform());
}

}  // namespace kovracam
