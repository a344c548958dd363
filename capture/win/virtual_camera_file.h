#pragma once
// The virtual cameras of the file that KOVRACAM_VIRTUAL_CAMERAS names, read with Win32 calls.

#include <iosfwd>
#include <vector>

#include "capture/virtual/virtual_camera_config.h"

namespace kovracam {

// Empty when the variable is unset or the file cannot be read, with one line on `diagnostics`
// for a file that is named but not readable, and one for each damaged line.
std::vector<VirtualCamera> loadVirtualCamerasFromEnvironment(std::ostream& diagnostics);

}  // namespace kovracam
