#pragma once
// A virtual camera bound as a capture device: a live test-pattern source with real frames.

#include <memory>

#include "capture/linux/device/capture_device.h"
#include "capture/virtual/virtual_camera_config.h"

namespace kovracam {

// Display name "virtual:" + id, friendly name the camera's name, device path the display name.
DeviceRecord virtualDeviceRecord(const VirtualCamera& camera);

std::unique_ptr<CaptureDevice> makeVirtualCaptureDevice(const VirtualCamera& camera);

}  // namespace kovracam
