#pragma once
// The virtual-camera file's platform checks through glib (Unicode classes) and GStreamer
// (videotestsrc's pattern nicknames).

#include "capture/virtual/virtual_camera_platform.h"

namespace kovracam {

const VirtualCameraPlatform& gstVirtualCameraPlatform();

}  // namespace kovracam
