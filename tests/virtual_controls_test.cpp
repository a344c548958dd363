#include "capture/virtual/virtual_controls.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <tuple>

#include "capture/virtual/virtual_capture_device.h"

namespace kovracam {
namespace {

const CaptureFormat kYuy2{Subtype::YUY2, 64, 48, {30, 1}};

// Each call is a camera of its own: cameras remember their settings by id for the process's life.
VirtualCamera cameraWith(PowerLineSetting powerline) {
  static int serial = 0;
  return {"ctl" + std::to_string(++serial), "Controls", {kYuy2}, "red", powerline};
}

std::unique_ptr<CaptureDevice> device(PowerLineSetting powerline) {
  return makeVirtualCaptureDevice(cameraWith(powerline));
}

TEST(VirtualControls, ListsThePictureControlsAndPowerLine) {
  auto controls = device(PowerLineSetting::Hz50)->openControls(nullptr);
  const auto list = controls->list();
  ASSERT_EQ(list.size(), 5u);
  const std::tuple<std::uint32_t, const char*, std::int64_t, std::int64_t, std::int64_t> rows[] = {
      {V4L2_CID_BRIGHTNESS, "Brightness", -100, 100, 0},
      {V4L2_CID_CONTRAST, "Contrast", 0, 200, 100},
      {V4L2_CID_SATURATION, "Saturation", 0, 200, 100},
      {V4L2_CID_HUE, "Hue", -180, 180, 0},
      {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, 3, kPowerLine50Hz}};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto& [id, name, minimum, maximum, defaultValue] = rows[i];
    EXPECT_EQ(list[i].id, id);
    EXPECT_EQ(list[i].name, name);
    EXPECT_EQ(list[i].type, i < 4 ? ControlType::Integer : ControlType::Menu) << name;
    EXPECT_EQ(list[i].minimum, minimum) << name;
    EXPECT_EQ(list[i].maximum, maximum) << name;
    EXPECT_EQ(list[i].step, 1) << name;
    EXPECT_EQ(list[i].defaultValue, defaultValue) << name;
    EXPECT_EQ(controls->get(id), defaultValue) << name;
  }
  const char* items[] = {"Disabled", "50 Hz", "60 Hz", "Auto"};
  ASSERT_EQ(list[4].menu.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(list[4].menu[i].index, static_cast<std::int64_t>(i));
    EXPECT_EQ(list[4].menu[i].name, items[i]);
  }
}

TEST(VirtualControls, PowerLineStartsFromTheCameraSetting) {
  const std::pair<PowerLineSetting, int> cases[] = {{PowerLineSetting::Off, kPowerLineDisabled},
                                                    {PowerLineSetting::Hz60, kPowerLine60Hz},
                                                    {PowerLineSetting::Auto, kPowerLineAuto}};
  for (const auto& [setting, value] : cases) {
    auto controls = device(setting)->openControls(nullptr);
    EXPECT_EQ(controls->get(V4L2_CID_POWER_LINE_FREQUENCY), value);
    EXPECT_EQ(controls->list().back().defaultValue, value);
  }
  auto controls = device(PowerLineSetting::None)->openControls(nullptr);  // no such control
  EXPECT_EQ(controls->list().back().id, static_cast<std::uint32_t>(V4L2_CID_HUE));
  EXPECT_FALSE(controls->get(V4L2_CID_POWER_LINE_FREQUENCY).has_value());
  EXPECT_EQ(controls->set(V4L2_CID_POWER_LINE_FREQUENCY, kPowerLine50Hz), EINVAL);
}

TEST(VirtualControls, SettingsOutliveControlsAndDeviceObjects) {
  VirtualCamera config = cameraWith(PowerLineSetting::Hz50);
  auto camera = makeVirtualCaptureDevice(config);
  EXPECT_EQ(camera->openControls(nullptr)->set(V4L2_CID_POWER_LINE_FREQUENCY, kPowerLine60Hz), 0);
  EXPECT_EQ(camera->openControls(nullptr)->set(V4L2_CID_BRIGHTNESS, 40), 0);
  EXPECT_EQ(camera->openControls(nullptr)->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLine60Hz);
  // Opening the same camera again, as a restart does, finds what was set, like a driver.
  auto reopened = makeVirtualCaptureDevice(config)->openControls(nullptr);
  EXPECT_EQ(reopened->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLine60Hz);
  EXPECT_EQ(reopened->get(V4L2_CID_BRIGHTNESS), 40);
  // Another camera is untouched; a camera whose power-line entry changed in the file starts anew.
  EXPECT_EQ(device(PowerLineSetting::Hz50)->openControls(nullptr)->get(V4L2_CID_BRIGHTNESS), 0);
  config.powerline = PowerLineSetting::Auto;
  EXPECT_EQ(
      makeVirtualCaptureDevice(config)->openControls(nullptr)->get(V4L2_CID_POWER_LINE_FREQUENCY),
      kPowerLineAuto);
}

TEST(VirtualControls, RememberedPictureValuesReachANewSource) {
  VirtualCamera config = cameraWith(PowerLineSetting::Hz50);
  auto camera = makeVirtualCaptureDevice(config);
  ASSERT_EQ(camera->openControls(nullptr)->set(V4L2_CID_BRIGHTNESS, 50), 0);
  GstElement* source =
      GST_ELEMENT(gst_object_ref_sink(makeVirtualCaptureDevice(config)->createSource(kYuy2)));
  ASSERT_NE(source, nullptr);
  GstElement* balance = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
  ASSERT_NE(balance, nullptr);
  gdouble brightness = 0;
  g_object_get(balance, "brightness", &brightness, nullptr);
  EXPECT_DOUBLE_EQ(brightness, 0.5);
  gst_object_unref(balance);
  gst_object_unref(source);
}

TEST(VirtualControls, RefusesValuesOutOfRangeAndUnknownIds) {
  auto controls = device(PowerLineSetting::Auto)->openControls(nullptr);
  const std::pair<std::uint32_t, std::int64_t> outside[] = {{V4L2_CID_BRIGHTNESS, 101},
                                                            {V4L2_CID_BRIGHTNESS, -101},
                                                            {V4L2_CID_CONTRAST, -1},
                                                            {V4L2_CID_SATURATION, 201},
                                                            {V4L2_CID_HUE, 181},
                                                            {V4L2_CID_HUE, -181},
                                                            {V4L2_CID_POWER_LINE_FREQUENCY, 4},
                                                            {V4L2_CID_POWER_LINE_FREQUENCY, -1}};
  for (const auto& [id, value] : outside) EXPECT_EQ(controls->set(id, value), ERANGE) << value;
  EXPECT_EQ(controls->get(V4L2_CID_BRIGHTNESS), 0);
  EXPECT_EQ(controls->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLineAuto);
  EXPECT_EQ(controls->set(V4L2_CID_GAMMA, 1), EINVAL);
  EXPECT_FALSE(controls->get(V4L2_CID_GAMMA).has_value());
}

TEST(VirtualControls, ValuesReachTheBalanceElementAndOutliveIt) {
  auto camera = device(PowerLineSetting::Hz50);
  GstElement* source = GST_ELEMENT(gst_object_ref_sink(camera->createSource(kYuy2)));
  auto controls = camera->openControls(source);
  const std::tuple<std::uint32_t, std::int64_t, const char*, double> cases[] = {
      {V4L2_CID_BRIGHTNESS, 100, "brightness", 1.0},
      {V4L2_CID_BRIGHTNESS, -100, "brightness", -1.0},
      {V4L2_CID_CONTRAST, 50, "contrast", 0.5},
      {V4L2_CID_SATURATION, 200, "saturation", 2.0},
      {V4L2_CID_HUE, -90, "hue", -0.5},
      {V4L2_CID_HUE, 180, "hue", 1.0}};
  for (const auto& [id, value, property, expected] : cases) {
    ASSERT_EQ(controls->set(id, value), 0);
    GstElement* balance = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
    gdouble shown = -99;
    g_object_get(balance, property, &shown, nullptr);
    gst_object_unref(balance);
    EXPECT_DOUBLE_EQ(shown, expected) << property << " " << value;
  }
  // Controls opened again on the same source report what it shows now.
  auto again = camera->openControls(source);
  EXPECT_EQ(again->get(V4L2_CID_BRIGHTNESS), -100);
  EXPECT_EQ(again->get(V4L2_CID_CONTRAST), 50);
  EXPECT_EQ(again->get(V4L2_CID_HUE), 180);
  gst_object_unref(source);
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 10), 0);
  EXPECT_EQ(controls->get(V4L2_CID_BRIGHTNESS), 10);
}

}  // namespace
}  // namespace kovracam
