#include "capture/linux/virtual/virtual_controls.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace kovracam {

namespace {

// A control in camera units and the videobalance property it drives: property = value / divisor.
struct PictureControl {
  std::uint32_t id;
  const char* name;
  const char* property;
  std::int64_t minimum;
  std::int64_t maximum;
  std::int64_t defaultValue;
  double divisor;
};

// Brightness spans videobalance's whole range: +100 turns the picture white, -100 black, as a
// camera pushed to its ends does.
constexpr PictureControl kPictureTable[] = {
    {V4L2_CID_BRIGHTNESS, "Brightness", "brightness", -100, 100, 0, 100.0},
    {V4L2_CID_CONTRAST, "Contrast", "contrast", 0, 200, 100, 100.0},
    {V4L2_CID_SATURATION, "Saturation", "saturation", 0, 200, 100, 100.0},
    {V4L2_CID_HUE, "Hue", "hue", -180, 180, 0, 180.0},
};

constexpr std::int64_t kPowerLineMaximum = kPowerLineAuto;

ControlInfo powerLineInfo(std::int64_t defaultValue) {
  ControlInfo info;
  info.id = V4L2_CID_POWER_LINE_FREQUENCY;
  info.name = "Power Line Frequency";
  info.type = ControlType::Menu;
  info.minimum = kPowerLineDisabled;
  info.maximum = kPowerLineMaximum;
  info.defaultValue = defaultValue;
  info.menu = {{kPowerLineDisabled, "Disabled"},
               {kPowerLine50Hz, "50 Hz"},
               {kPowerLine60Hz, "60 Hz"},
               {kPowerLineAuto, "Auto"}};
  return info;
}

}  // namespace

VirtualCameraSettings::VirtualCameraSettings(std::optional<std::int64_t> initialPowerLine)
    : hasPowerLine(initialPowerLine.has_value()),
      powerLine(initialPowerLine.value_or(kPowerLineDisabled)),
      powerLineDefault(initialPowerLine.value_or(kPowerLineDisabled)) {
  for (std::size_t i = 0; i < kVirtualPictureControls; ++i) {
    picture[i] = kPictureTable[i].defaultValue;
  }
}

void applyPictureSettings(GstElement* source, const VirtualCameraSettings& settings) {
  if (source == nullptr || !GST_IS_BIN(source)) return;
  GstElement* balance = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
  if (balance == nullptr) return;
  for (std::size_t i = 0; i < kVirtualPictureControls; ++i) {
    const PictureControl& c = kPictureTable[i];
    g_object_set(balance, c.property, settings.picture[i].load() / c.divisor, nullptr);
  }
  gst_object_unref(balance);
}

VirtualControls::VirtualControls(GstElement* source,
                                 std::shared_ptr<VirtualCameraSettings> settings)
    : settings_(std::move(settings)) {
  if (source != nullptr && GST_IS_BIN(source)) {
    balance_ = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
  }
}

VirtualControls::~VirtualControls() {
  if (balance_ != nullptr) gst_object_unref(balance_);
}

std::vector<ControlInfo> VirtualControls::list() {
  std::vector<ControlInfo> controls;
  for (const PictureControl& c : kPictureTable) {
    ControlInfo info;
    info.id = c.id;
    info.name = c.name;
    info.type = ControlType::Integer;
    info.minimum = c.minimum;
    info.maximum = c.maximum;
    info.step = 1;
    info.defaultValue = c.defaultValue;
    controls.push_back(std::move(info));
  }
  if (settings_->hasPowerLine) controls.push_back(powerLineInfo(settings_->powerLineDefault));
  return controls;
}

std::optional<std::int64_t> VirtualControls::get(std::uint32_t id) {
  for (std::size_t i = 0; i < kVirtualPictureControls; ++i) {
    if (kPictureTable[i].id == id) return settings_->picture[i].load();
  }
  if (settings_->hasPowerLine && id == V4L2_CID_POWER_LINE_FREQUENCY) {
    return settings_->powerLine.load();
  }
  return std::nullopt;
}

int VirtualControls::set(std::uint32_t id, std::int64_t value) {
  for (std::size_t i = 0; i < kVirtualPictureControls; ++i) {
    const PictureControl& c = kPictureTable[i];
    if (c.id != id) continue;
    if (value < c.minimum || value > c.maximum) return ERANGE;
    settings_->picture[i] = value;
    // videobalance takes its object lock around property changes, so the streaming thread picks
    // the new value up at its next frame.
    if (balance_ != nullptr) g_object_set(balance_, c.property, value / c.divisor, nullptr);
    return 0;
  }
  if (settings_->hasPowerLine && id == V4L2_CID_POWER_LINE_FREQUENCY) {
    if (value < kPowerLineDisabled || value > kPowerLineMaximum) return ERANGE;
    settings_->powerLine.store(value);
    return 0;
  }
  return EINVAL;
}

}  // namespace kovracam
