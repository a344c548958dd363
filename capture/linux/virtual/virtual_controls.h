#pragma once
// The controls of a virtual camera: picture controls applied live to the videobalance element
// ("balance") inside the camera's source bin, and the power-line frequency the camera keeps.

#include <gst/gst.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "capture/linux/device/device_controls.h"

namespace kovracam {

inline constexpr const char* kVirtualBalanceName = "balance";

inline constexpr std::size_t kVirtualPictureControls = 4;

// What a virtual camera remembers of its controls, as a driver does: the values outlive any one
// pipeline or controls object, so a restart or a new format keeps them.
struct VirtualCameraSettings {
  // `powerLine` is the initial power-line value, or nullopt when the camera has no such control.
  explicit VirtualCameraSettings(std::optional<std::int64_t> powerLine);

  std::array<std::atomic<std::int64_t>, kVirtualPictureControls> picture;  // camera units
  const bool hasPowerLine;
  std::atomic<std::int64_t> powerLine;
  const std::int64_t powerLineDefault;
};

// Puts the remembered picture values into a freshly made source bin.
void applyPictureSettings(GstElement* source, const VirtualCameraSettings& settings);

class VirtualControls : public DeviceControls {
 public:
  // `source` may be null or hold no balance element: the values are then only remembered.
  VirtualControls(GstElement* source, std::shared_ptr<VirtualCameraSettings> settings);
  ~VirtualControls() override;
  VirtualControls(const VirtualControls&) = delete;
  VirtualControls& operator=(const VirtualControls&) = delete;

  std::vector<ControlInfo> list() override;
  std::optional<std::int64_t> get(std::uint32_t id) override;
  // ERANGE for a value outside the control's range, EINVAL for an id the camera does not have.
  int set(std::uint32_t id, std::int64_t value) override;

 private:
  GstElement* balance_ = nullptr;  // our own reference, so a vanished bin cannot leave it dangling
  std::shared_ptr<VirtualCameraSettings> settings_;
};

}  // namespace kovracam
