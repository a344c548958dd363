#pragma once
// The virtual-camera file's platform checks through Win32's character classes and the patterns
// our own frame painter draws.

#include "capture/virtual/virtual_camera_platform.h"

namespace kovracam {

const VirtualCameraPlatform& winVirtualCameraPlatform();

}  // namespace kovracam
