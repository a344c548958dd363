#include "capture/virtual_controls.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <memory>

#include "capture/virtual_capture_device.h"

namespace kovracam {
namespace {

const CaptureFormat kYuy2{Subtype::YUY2, 64, 48, {30, 1}};

// Each call is a camera of its own: cameras remember their settings by id for the process's life.
VirtualCamera cameraWith(PowerLineSetting powerline) {
  static int serial = 0;
  VirtualCamera c;
  c.id = "ctl" + std::to_string(++serial);
  c.name = "Controls";
  c.formats = {kYuy2};
  c.pattern = "red";
  c.powerline = powerline;
  return c;
}

std::unique_ptr<CaptureDevice> device(PowerLineSetting powerline) {
  return makeVirtualCaptureDevice(cameraWith(powerline));
}

const ControlInfo* find(const std::vector<ControlInfo>& list, std::uint32_t id) {
  for (const ControlInfo& info : list) {
    if (info.id == id) return &info;
  }
  return nullptr;
}

// A source bin taken over by the test, so that it can hand out the raw pointer.
struct OwnedSource {
  explicit OwnedSource(GstElement* e)
      : element(e ? GST_ELEMENT(gst_object_ref_sink(e)) : nullptr) {}
  ~OwnedSource() {
    if (element != nullptr) gst_object_unref(element);
  }
  double balance(const char* property) const {
    GstElement* b = gst_bin_get_by_name(GST_BIN(element), kVirtualBalanceName);
    gdouble value = -99;
    g_object_get(b, property, &value, nullptr);
    gst_object_unref(b);
    return value;
  }
  GstElement* element;
};

TEST(VirtualControls, ListsThePictureControlsAndPowerLine) {
  auto controls = device(PowerLineSetting::Hz50)->openControls(nullptr);
  const auto list = controls->list();
  ASSERT_EQ(list.size(), 5u);
  const struct {
    std::uint32_t id;
    const char* name;
    std::int64_t min, max, def;
  } expected[] = {{V4L2_CID_BRIGHTNESS, "Brightness", -100, 100, 0},
                  {V4L2_CID_CONTRAST, "Contrast", 0, 200, 100},
                  {V4L2_CID_SATURATION, "Saturation", 0, 200, 100},
                  {V4L2_CID_HUE, "Hue", -180, 180, 0}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(list[i].id, expected[i].id);
    EXPECT_EQ(list[i].name, expected[i].name);
    EXPECT_EQ(list[i].type, ControlType::Integer);
    EXPECT_EQ(list[i].minimum, expected[i].min);
    EXPECT_EQ(list[i].maximum, expected[i].max);
    EXPECT_EQ(list[i].step, 1);
    EXPECT_EQ(list[i].defaultValue, expected[i].def);
    EXPECT_EQ(controls->get(expected[i].id), expected[i].def);
  }
  const ControlInfo& power = list[4];
  EXPECT_EQ(power.id, static_cast<std::uint32_t>(V4L2_CID_POWER_LINE_FREQUENCY));
  EXPECT_EQ(power.name, "Power Line Frequency");
  EXPECT_EQ(power.type, ControlType::Menu);
  EXPECT_EQ(power.minimum, 0);
  EXPECT_EQ(power.maximum, 3);
  ASSERT_EQ(power.menu.size(), 4u);
  const char* items[] = {"Disabled", "50 Hz", "60 Hz", "Auto"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(power.menu[i].index, static_cast<std::int64_t>(i));
    EXPECT_EQ(power.menu[i].name, items[i]);
  }
}

TEST(VirtualControls, PowerLineStartsFromTheCameraSetting) {
  const std::pair<PowerLineSetting, int> cases[] = {{PowerLineSetting::Off, kPowerLineDisabled},
                                                    {PowerLineSetting::Hz50, kPowerLine50Hz},
                                                    {PowerLineSetting::Hz60, kPowerLine60Hz},
                                                    {PowerLineSetting::Auto, kPowerLineAuto}};
  for (const auto& [setting, value] : cases) {
    auto controls = device(setting)->openControls(nullptr);
    EXPECT_EQ(controls->get(V4L2_CID_POWER_LINE_FREQUENCY), value);
    const auto list = controls->list();
    const ControlInfo* info = find(list, V4L2_CID_POWER_LINE_FREQUENCY);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->defaultValue, value);
  }
}

TEST(VirtualControls, NoPowerLineControlWhenTheCameraHasNone) {
  auto controls = device(PowerLineSetting::None)->openControls(nullptr);
  const auto list = controls->list();
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(find(list, V4L2_CID_POWER_LINE_FREQUENCY), nullptr);
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
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 101), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, -101), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_CONTRAST, -1), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_SATURATION, 201), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_HUE, 181), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_POWER_LINE_FREQUENCY, 4), ERANGE);
  EXPECT_EQ(controls->set(V4L2_CID_POWER_LINE_FREQUENCY, -1), ERANGE);
  EXPECT_EQ(controls->get(V4L2_CID_BRIGHTNESS), 0);
  EXPECT_EQ(controls->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLineAuto);
  EXPECT_EQ(controls->set(V4L2_CID_GAMMA, 1), EINVAL);
  EXPECT_FALSE(controls->get(V4L2_CID_GAMMA).has_value());
}

TEST(VirtualControls, WithoutASourceValuesAreStillStored) {
  auto controls = device(PowerLineSetting::Hz50)->openControls(nullptr);
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, -100), 0);
  EXPECT_EQ(controls->set(V4L2_CID_HUE, 180), 0);
  EXPECT_EQ(controls->get(V4L2_CID_BRIGHTNESS), -100);
  EXPECT_EQ(controls->get(V4L2_CID_HUE), 180);
  // A plain element is no bin: there is no balance to reach, and that is no fault.
  GstElement* plain =
      GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("identity", nullptr)));
  auto onPlain = device(PowerLineSetting::Hz50)->openControls(plain);
  EXPECT_EQ(onPlain->set(V4L2_CID_CONTRAST, 150), 0);
  EXPECT_EQ(onPlain->get(V4L2_CID_CONTRAST), 150);
  gst_object_unref(plain);
}

TEST(VirtualControls, ValuesReachTheBalanceElement) {
  auto camera = device(PowerLineSetting::Hz50);
  OwnedSource source(camera->createSource(kYuy2));
  ASSERT_NE(source.element, nullptr);
  auto controls = camera->openControls(source.element);
  ASSERT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 100), 0);
  ASSERT_EQ(controls->set(V4L2_CID_CONTRAST, 50), 0);
  ASSERT_EQ(controls->set(V4L2_CID_SATURATION, 200), 0);
  ASSERT_EQ(controls->set(V4L2_CID_HUE, -90), 0);
  EXPECT_DOUBLE_EQ(source.balance("brightness"), 1.0);
  EXPECT_DOUBLE_EQ(source.balance("contrast"), 0.5);
  EXPECT_DOUBLE_EQ(source.balance("saturation"), 2.0);
  EXPECT_DOUBLE_EQ(source.balance("hue"), -0.5);
  ASSERT_EQ(controls->set(V4L2_CID_BRIGHTNESS, -100), 0);
  ASSERT_EQ(controls->set(V4L2_CID_HUE, 180), 0);
  EXPECT_DOUBLE_EQ(source.balance("brightness"), -1.0);
  EXPECT_DOUBLE_EQ(source.balance("hue"), 1.0);
  // Controls opened again on the same source report what it shows now.
  auto again = camera->openControls(source.element);
  EXPECT_EQ(again->get(V4L2_CID_BRIGHTNESS), -100);
  EXPECT_EQ(again->get(V4L2_CID_CONTRAST), 50);
  EXPECT_EQ(again->get(V4L2_CID_SATURATION), 200);
  EXPECT_EQ(again->get(V4L2_CID_HUE), 180);
}

TEST(VirtualControls, ControlsOutliveTheirSourceSafely) {
  auto camera = device(PowerLineSetting::Hz50);
  std::unique_ptr<DeviceControls> controls;
  {
    OwnedSource source(camera->createSource(kYuy2));
    controls = camera->openControls(source.element);
  }
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 10), 0);
  EXPECT_EQ(controls->get(V4L2_CID_BRIGHTNESS), 10);
}

}  // namespace
}  // namespace kovracam
