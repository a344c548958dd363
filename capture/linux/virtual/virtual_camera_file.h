#pragma once
// The virtual-camera file that KOVRACAM_VIRTUAL_CAMERAS names, read again at every enumeration.

#include <iosfwd>
#include <vector>

#include "capture/virtual/virtual_camera_config.h"

namespace kovracam {

// The file's cameras, checked against glib and GStreamer; empty when the variable is unset or the
// file unreadable (with one line on `diagnostics` then).
std::vector<VirtualCamera> loadVirtualCameras(std::ostream& diagnostics);

}  // namespace kovracam
