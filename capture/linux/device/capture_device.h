#pragma once
// A device bound by its display name: what the graph is built around. Real V4L2 devices and
// virtual cameras both implement it.

#include <gst/gst.h>

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/device/capture_format.h"
#include "capture/device/device_record.h"
#include "capture/linux/device/device_controls.h"

namespace kovracam {

// The name the source element (or bin) carries inside the pipeline.
inline constexpr const char* kCaptureFilterName = "Capture Filter";

class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;

  virtual const DeviceRecord& record() const = 0;
  // The format the device is set to now; nullopt when it cannot be read.
  virtual std::optional<CaptureFormat> currentFormat() = 0;
  // Every format the device offers, in the device's order.
  virtual std::vector<CaptureFormat> offeredFormats() = 0;
  // Makes `format` the device's current one; false when the device does not offer it.
  virtual bool applyFormat(const CaptureFormat& format) = 0;
  // A new floating source element named kCaptureFilterName whose src pad delivers `format`:
  // video/x-raw (YUY2, BGR, I420) or image/jpeg. nullptr when it cannot be made.
  virtual GstElement* createSource(const CaptureFormat& format) = 0;
  // The device's controls. `source` is the element createSource made, still alive while the
  // controls are used (virtual cameras apply their controls to it).
  virtual std::unique_ptr<DeviceControls> openControls(GstElement* source) = 0;
};

}  // namespace kovracam
