#pragma once
// What the app does with a listed device: reads its formats, chooses one to preview (applying it
// when it is not the current one) and lists, reads and sets its controls, checking what holds for
// any answers.

#include <algorithm>
#include <functional>
#include <optional>

#include "base/utf16.h"
#include "capture/device/device_record.h"
#include "capture/linux/v4l2/v4l2_capture_device.h"
#include "capture/linux/v4l2/v4l2_controls.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/fuzz/fuzz_check.h"

namespace kovracam {

// The format chosen for the preview, if any; `nextValue` gives the values written to controls.
inline std::optional<CaptureFormat> readDevice(FakeV4l2Io& io, const DeviceRecord& record,
                                               const std::function<std::int64_t()>& nextValue) {
  for (const std::string* field : {&record.szDisplayName, &record.szFriendlyName}) {
    FUZZ_CHECK(utf16Length(*field) <= kDeviceFieldUnits);
  }
  const auto device = makeV4l2CaptureDevice(io, record);
  const auto offered = device->offeredFormats();
  std::optional<CaptureFormat> chosen;
  if (const auto current = device->currentFormat()) {
    // The current format when it can be shown, else an offered one that can.
    chosen = chooseCaptureFormat(*current, offered);
    FUZZ_CHECK(!chosen || pixelFormatOf(chosen->subtype) != kPixelNone);
    FUZZ_CHECK(!chosen || *chosen == *current ||
               std::find(offered.begin(), offered.end(), *chosen) != offered.end());
    if (chosen && *chosen != *current) device->applyFormat(*chosen);
  }
  V4l2Controls controls(io, record.szDevicePath);
  for (const ControlInfo& c : controls.list()) {
    FUZZ_CHECK(c.menu.size() <= 256 && (c.type == ControlType::Menu || c.menu.empty()));
    for (const ControlMenuItem& item : c.menu) {
      FUZZ_CHECK(item.index >= 0 && item.index >= c.minimum && item.index <= c.maximum);
    }
    controls.get(c.id);
    controls.set(c.id, nextValue());
  }
  return chosen;
}

}  // namespace kovracam
