#pragma once
// The controls of a virtual camera: picture controls applied live to the videobalance element
// ("balance") inside the camera's source bin, and the power-line frequency the camera keeps.

#include <gst/gst.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "capture/device_controls.h"

namespace kovracam {

inline constexpr const char* kVirtualBalanceName = "balance";

// A camera's power-line frequency (kPowerLine*): it keeps its value for as long as the camera's
// device object lives, whatever controls come and go.
struct PowerLineState {
  explicit PowerLineState(std::int64_t setting) : value(setting), initial(setting) {}
  std::atomic<std::int64_t> value;
  const std::int64_t initial;  // reported as the control's default
};

class VirtualControls : public DeviceControls {
 public:
  // `source` may be null or hold no balance element: the values are then only stored.
  // `powerLine` is null when the camera has no power-line control.
  VirtualControls(GstElement* source, std::shared_ptr<PowerLineState> powerLine);
  ~VirtualControls() override;
  VirtualControls(const VirtualControls&) = delete;
  VirtualControls& operator=(const VirtualControls&) = delete;

  std::vector<ControlInfo> list() override;
  std::optional<std::int64_t> get(std::uint32_t id) override;
  // ERANGE for a value outside the control's range, EINVAL for an id the camera does not have.
  int set(std::uint32_t id, std::int64_t value) override;

 private:
  static constexpr std::size_t kPictureControls = 4;

  GstElement* balance_ = nullptr;  // our own reference, so a vanished bin cannot leave it dangling
  std::array<std::int64_t, kPictureControls> picture_{};
  std::shared_ptr<PowerLineState> powerLine_;
};

}  // namespace kovracam
