#pragma once
// Lists the video-capture devices (PipeWire's cameras first, then the V4L2 nodes PipeWire does
// not offer, then the virtual cameras) and binds a display name back to a present device.

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
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

// For a name that no listed record carries: the record of the same camera under another
// identity, namely a PipeWire camera backed by the V4L2 node a V4L2 identity (udev link or node)
// stands for. nullopt when there is none.
std::optional<std::size_t> findFormerDeviceChoice(V4l2Io& io, const DeviceList& devices,
                                                  const std::string& stored);

}  // namespace kovracam
