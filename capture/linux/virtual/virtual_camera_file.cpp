#include "capture/linux/virtual/virtual_camera_file.h"

#include <cstdlib>
#include <ostream>
#include <string>

#include "base/linux/regular_file.h"
#include "capture/linux/virtual/gst_camera_platform.h"

namespace kovracam {

std::vector<VirtualCamera> loadVirtualCameras(std::ostream& diagnostics) {
  const char* path = std::getenv(kVirtualCamerasEnv);
  if (path == nullptr || *path == '\0') return {};
  return parseVirtualCameraFile(readRegularFile(path, kMaxVirtualCameraFileBytes), path,
                                diagnostics, gstVirtualCameraPlatform());
}

}  // namespace kovracam
