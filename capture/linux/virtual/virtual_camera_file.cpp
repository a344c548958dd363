#include "capture/linux/virtual/virtual_camera_file.h"

#include <cstdlib>
#include <ostream>
#include <string>

#include "capture/linux/virtual/gst_camera_platform.h"
#include "lang/linux/regular_file.h"

namespace kovracam {

std::vector<VirtualCamera> loadVirtualCameras(std::ostream& diagnostics) {
  const char* path = std::getenv(kVirtualCamerasEnv);
  if (path == nullptr || *path == '\0') return {};
  return parseVirtualCameraFile(readRegularFile(path, kMaxVirtualCameraFileBytes), path,
                                diagnostics, gstVirtualCameraPlatform());
}

}  // namespace kovracam
