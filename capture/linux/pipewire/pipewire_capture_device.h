#pragma once
// A PipeWire camera bound as a capture device: frames come from a pipewiresrc linked to the
// node, so the camera stays shared with every other program reading it.

#include <memory>

#include "capture/linux/device/capture_device.h"
#include "capture/linux/pipewire/pipewire_cameras.h"
#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {

// Display name pipeWireIdentity, the description as the friendly name, and the V4L2 node behind
// the camera (or its node name) as the device path.
DeviceRecord pipeWireDeviceRecord(const PipeWireCamera& camera);

// `io` serves the controls of a camera backed by a V4L2 node; it must outlive the device.
std::unique_ptr<CaptureDevice> makePipeWireCaptureDevice(V4l2Io& io, PipeWireCamera camera);

}  // namespace kovracam
