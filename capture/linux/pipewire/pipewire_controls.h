#pragma once
// The controls a PipeWire node publishes itself (its PropInfo and Props parameters), for a
// camera that no V4L2 node stands behind: libcamera's brightness, contrast, saturation...

#include <memory>
#include <string>

#include "capture/linux/device/device_controls.h"

namespace kovracam {

// The controls of the node with object.serial `serial`; nullptr when no daemon answers.
// Well-known properties carry the V4L2 ids of their kind, fractional ones are scaled to
// hundredths.
std::unique_ptr<DeviceControls> openPipeWireControls(const std::string& serial);

}  // namespace kovracam
