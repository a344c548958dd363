// The virtual cameras: their records, formats and picture controls.

#include "capture/linux/virtual/virtual_capture_device.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <tuple>

#include "capture/linux/virtual/virtual_controls.h"

namespace kovracam {
namespace {

const CaptureFormat kYuy2{Subtype::YUY2, 320, 240, {30, 1}};
const CaptureFormat kRgb{Subtype::RGB24, 320, 240, {30, 1}};
const CaptureFormat kJpeg{Subtype::MJPG, 320, 240, {30, 1}};

// Cameras remember their settings by id for the process's life: one id per test camera.
VirtualCamera camera(std::vector<CaptureFormat> formats, const char* pattern = "red") {
  static int serial = 0;
  return {"test" + std::to_string(++serial), "Test Camera", std::move(formats), pattern,
          PowerLineSetting::Hz50};
}

TEST(VirtualCaptureDevice, NamesTheCameraAndMakesOnlyOfferedFormats) {
  const VirtualCamera c = camera({kJpeg, kYuy2, kRgb});
  auto device = makeVirtualCaptureDevice(c);
  const DeviceRecord& record = device->record();
  EXPECT_EQ(record.szDisplayName + "|" + record.szFriendlyName + "|" + record.szDevicePath,
            "virtual:" + c.id + "|Test Camera|virtual:" + c.id);
  EXPECT_TRUE(device->offeredFormats() == c.formats && device->currentFormat() == kJpeg);
  EXPECT_TRUE(device->applyFormat(kRgb) &&
              !device->applyFormat({Subtype::YUY2, 320, 240, {15, 2}}));
  EXPECT_EQ(device->currentFormat(), kRgb);
  EXPECT_FALSE(makeVirtualCaptureDevice(camera({}))->currentFormat().has_value());
  // No source for a format or a pattern it cannot make.
  EXPECT_EQ(device->createSource({Subtype::YUY2, 0, 240, {30, 1}}), nullptr);
  EXPECT_EQ(device->createSource({Subtype::YUY2, 320, 240, {0, 1}}), nullptr);
  EXPECT_EQ(makeVirtualCaptureDevice(camera({kYuy2}, "no-such"))->createSource(kYuy2), nullptr);
}

TEST(VirtualControls, ListTheirRangesAndRefuseWhatIsOutside) {
  auto controls = makeVirtualCaptureDevice(camera({kYuy2}))->openControls(nullptr);
  const auto list = controls->list();
  const std::tuple<std::uint32_t, const char*, std::int64_t, std::int64_t, std::int64_t> rows[] = {
      {V4L2_CID_BRIGHTNESS, "Brightness", -100, 100, 0},
      {V4L2_CID_CONTRAST, "Contrast", 0, 200, 100},
      {V4L2_CID_SATURATION, "Saturation", 0, 200, 100},
      {V4L2_CID_HUE, "Hue", -180, 180, 0},
      {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, 3, kPowerLine50Hz}};
  ASSERT_EQ(list.size(), 5u);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto& [id, name, minimum, maximum, defaultValue] = rows[i];
    SCOPED_TRACE(name);
    EXPECT_EQ(std::tie(list[i].id, list[i].name, list[i].minimum, list[i].maximum, list[i].step),
              std::make_tuple(id, std::string(name), minimum, maximum, std::int64_t{1}));
    EXPECT_TRUE(list[i].type == (i < 4 ? ControlType::Integer : ControlType::Menu) &&
                list[i].defaultValue == defaultValue && controls->get(id) == defaultValue);
    EXPECT_TRUE(controls->set(id, minimum - 1) == ERANGE &&
                controls->set(id, maximum + 1) == ERANGE);
  }
  ASSERT_EQ(list[4].menu.size(), 4u);
  EXPECT_EQ(list[4].menu[3].index, 3);
  EXPECT_EQ(
      list[4].menu[0].name + list[4].menu[1].name + list[4].menu[2].name + list[4].menu[3].name,
      "Disabled50 Hz60 HzAuto");
  EXPECT_TRUE(controls->set(V4L2_CID_GAMMA, 1) == EINVAL && !controls->get(V4L2_CID_GAMMA));
}

// Values reach the source's balance element, outlive it and the device object (a restart finds
// them, as with a driver), and reach the next source; another camera is untouched.
TEST(VirtualControls, ValuesReachTheBalanceAndOutliveTheSourceAndTheDevice) {
  VirtualCamera config = camera({kYuy2});
  auto device = makeVirtualCaptureDevice(config);
  GstElement* source = GST_ELEMENT(gst_object_ref_sink(device->createSource(kYuy2)));
  auto controls = device->openControls(source);
  const auto shown = [](GstElement* source, const char* property) {
    GstElement* balance = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
    gdouble value = -99;
    g_object_get(balance, property, &value, nullptr);
    gst_object_unref(balance);
    return value;
  };
  const std::tuple<std::uint32_t, std::int64_t, const char*, double> cases[] = {
      {V4L2_CID_BRIGHTNESS, 100, "brightness", 1.0},
      {V4L2_CID_BRIGHTNESS, -100, "brightness", -1.0},
      {V4L2_CID_CONTRAST, 50, "contrast", 0.5},
      {V4L2_CID_SATURATION, 200, "saturation", 2.0},
      {V4L2_CID_HUE, -90, "hue", -0.5},
      {V4L2_CID_HUE, 180, "hue", 1.0}};
  for (const auto& [id, value, property, expected] : cases) {
    ASSERT_EQ(controls->set(id, value), 0);
    EXPECT_DOUBLE_EQ(shown(source, property), expected) << property << " " << value;
  }
  EXPECT_EQ(device->openControls(source)->get(V4L2_CID_CONTRAST), 50);
  gst_object_unref(source);
  EXPECT_TRUE(controls->set(V4L2_CID_BRIGHTNESS, 50) == 0 &&
              controls->set(V4L2_CID_POWER_LINE_FREQUENCY, kPowerLine60Hz) == 0);
  auto again = makeVirtualCaptureDevice(config);
  EXPECT_EQ(again->openControls(nullptr)->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLine60Hz);
  source = GST_ELEMENT(gst_object_ref_sink(again->createSource(kYuy2)));
  EXPECT_DOUBLE_EQ(shown(source, "brightness"), 0.5);
  EXPECT_DOUBLE_EQ(shown(source, "hue"), 1.0);
  gst_object_unref(source);
  EXPECT_EQ(
      makeVirtualCaptureDevice(camera({kYuy2}))->openControls(nullptr)->get(V4L2_CID_BRIGHTNESS),
      0);
  // A camera whose power-line entry changed in the file starts anew.
  config.powerline = PowerLineSetting::Auto;
  auto changed = makeVirtualCaptureDevice(config)->openControls(nullptr);
  EXPECT_EQ(changed->get(V4L2_CID_POWER_LINE_FREQUENCY), kPowerLineAuto);
}

}  // namespace
}  // namespace kovracam
