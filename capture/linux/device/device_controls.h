#pragma once
// A camera's own controls (brightness, power-line frequency...), V4L2 style: ids are V4L2 control
// ids (V4L2_CID_*), values are integers, menus carry the driver's item names.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovracam {

enum class ControlType { Integer, Boolean, Menu, Button };

struct ControlMenuItem {
  std::int64_t index = 0;  // driver indexes may have gaps
  std::string name;
};

struct ControlInfo {
  std::uint32_t id = 0;
  std::string name;
  ControlType type = ControlType::Integer;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  std::int64_t step = 1;
  std::int64_t defaultValue = 0;
  std::vector<ControlMenuItem> menu;  // Menu controls only
  bool disabled = false;
  bool inactive = false;
  bool readOnly = false;
};

class DeviceControls {
 public:
  virtual ~DeviceControls() = default;
  // The user and camera controls the device reports, in the device's order. Empty when the
  // device cannot be asked (gone, busy).
  virtual std::vector<ControlInfo> list() = 0;
  virtual std::optional<std::int64_t> get(std::uint32_t id) = 0;
  // 0, or the errno of the failure (EINVAL for a refused value, ENODEV when the device is gone).
  virtual int set(std::uint32_t id, std::int64_t value) = 0;
};

// Power-line frequency values (V4L2_CID_POWER_LINE_FREQUENCY).
inline constexpr int kPowerLineDisabled = 0;
inline constexpr int kPowerLine50Hz = 1;
inline constexpr int kPowerLine60Hz = 2;
inline constexpr int kPowerLineAuto = 3;

}  // namespace kovracam
