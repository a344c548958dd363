#pragma once
// A real V4L2 video-capture node bound as a capture device.

#include <memory>

#include "capture/linux/device/capture_device.h"
#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {

// record.szDevicePath is the node (/dev/videoN). The device keeps `io` for format and control
// queries; `io` must outlive it.
std::unique_ptr<CaptureDevice> makeV4l2CaptureDevice(V4l2Io& io, DeviceRecord record);

}  // namespace kovracam
