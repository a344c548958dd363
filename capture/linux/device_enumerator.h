#pragma once
// Lists the video-capture devices (real V4L2 nodes first, then the virtual cameras) and binds a
// display name back to a present device.

#include <iosfwd>
#include <memory>
#include <string>

#include "capture/device/device_record.h"
#include "capture/linux/device/capture_device.h"
#include "capture/linux/v4l2/v4l2_io.h"
#include "capture/status.h"

namespace kovracam {

// Fills `list` (replacing its content): kOk with at least one record, kNoDevice when there is
// none, kInvalidArg for a null list. At most kMaxListedDevices are listed; one line on
// `diagnostics` says how many were left out.
Status enumerateDevices(V4l2Io& io, DeviceList* list, std::ostream& diagnostics);

// The present device whose display name is exactly `displayName`; nullptr when none is.
std::unique_ptr<CaptureDevice> resolveDevice(V4l2Io& io, const std::string& displayName,
                                             std::ostream& diagnostics);

}  // namespace kovracam
