// A V4L2 node's controls read and set through the fake kernel.

#include "capture/v4l2_controls.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/fake_v4l2_io.h"

namespace kovracam {
namespace {

constexpr const char* kNode = "/dev/video0";
constexpr std::uint32_t kPixelRate = V4L2_CID_USER_BASE + 0x1100;
constexpr std::uint32_t kOverlayText = V4L2_CID_USER_BASE + 0x1101;

FakeDevice cameraWithControls() {
  FakeDevice camera = fakeUvcCamera("Test");
  FakeControl contrast = fakeIntegerControl(V4L2_CID_CONTRAST, "Contrast", 0, 100, 5, 50);
  contrast.flags = V4L2_CTRL_FLAG_INACTIVE;
  FakeControl hue = fakeIntegerControl(V4L2_CID_HUE, "Hue", -180, 180, 1, 0);
  hue.flags = V4L2_CTRL_FLAG_DISABLED;
  FakeControl gain = fakeIntegerControl(V4L2_CID_GAIN, "Gain", 0, 255, 1, 16);
  gain.flags = V4L2_CTRL_FLAG_READ_ONLY;
  FakeControl pixelRate = fakeIntegerControl(kPixelRate, "Pixel Rate", 0, 1, 1, 0);
  pixelRate.type = V4L2_CTRL_TYPE_INTEGER64;
  FakeControl text = fakeIntegerControl(kOverlayText, "Overlay Text", 0, 31, 1, 0);
  text.type = V4L2_CTRL_TYPE_STRING;
  camera.controls = {
      fakeClassControl(V4L2_CID_CAMERA_CLASS, "Camera Controls"),
      fakeMenuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure",
                      {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
      fakeButtonControl(V4L2_CID_PAN_RESET, "Pan, Reset"),
      fakeIntegerMenuControl(V4L2_CID_AUTO_EXPOSURE_BIAS, "Exposure Bias",
                             {{0, -2000}, {1, 0}, {2, 2000}}, 1),
      fakeIntegerControl(V4L2_CID_MPEG_VIDEO_BITRATE, "Bitrate", 1, 20'000'000, 1, 4'000'000),
      fakeClassControl(V4L2_CID_USER_CLASS, "User Controls"),
      fakeIntegerControl(V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0),
      contrast,
      hue,
      fakeBooleanControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", true),
      gain,
      fakeMenuControl(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency",
                      {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}, 1),
      pixelRate,
      text,
  };
  return camera;
}

std::vector<std::uint32_t> idsOf(const std::vector<ControlInfo>& controls) {
  std::vector<std::uint32_t> ids;
  for (const auto& control : controls) ids.push_back(control.id);
  return ids;
}

const ControlInfo& byId(const std::vector<ControlInfo>& controls, std::uint32_t id) {
  for (const auto& control : controls) {
    if (control.id == id) return control;
  }
  throw std::out_of_range("control " + std::to_string(id) + " not listed");
}

std::vector<std::pair<std::int64_t, std::string>> itemsOf(const ControlInfo& control) {
  std::vector<std::pair<std::int64_t, std::string>> items;
  for (const auto& item : control.menu) items.emplace_back(item.index, item.name);
  return items;
}

class V4l2ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { io.addDevice(kNode, cameraWithControls()); }

  // The value the fake driver holds for control `id`.
  std::int64_t storedValue(std::uint32_t id) {
    for (const auto& control : io.device(kNode)->controls) {
      if (control.id == id) return control.value;
    }
    throw std::out_of_range("no control " + std::to_string(id));
  }

  FakeV4l2Io io;
};

const std::vector<std::uint32_t> kListedIds = {
    V4L2_CID_BRIGHTNESS,         V4L2_CID_CONTRAST,  V4L2_CID_HUE,
    V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_GAIN,      V4L2_CID_POWER_LINE_FREQUENCY,
    V4L2_CID_EXPOSURE_AUTO,      V4L2_CID_PAN_RESET, V4L2_CID_AUTO_EXPOSURE_BIAS};

TEST_F(V4l2ControlsTest, ListsUserAndCameraControlsInIdOrder) {
  V4l2Controls controls(io, kNode);
  const auto listed = controls.list();
  // Class headings, the codec-class bitrate, the 64-bit and the string control are left out.
  EXPECT_EQ(idsOf(listed), kListedIds);

  const ControlInfo& brightness = byId(listed, V4L2_CID_BRIGHTNESS);
  EXPECT_EQ(brightness.name, "Brightness");
  EXPECT_EQ(brightness.type, ControlType::Integer);
  EXPECT_EQ(brightness.minimum, -64);
  EXPECT_EQ(brightness.maximum, 64);
  EXPECT_EQ(brightness.step, 1);
  EXPECT_FALSE(brightness.disabled || brightness.inactive || brightness.readOnly);
  EXPECT_EQ(byId(listed, V4L2_CID_CONTRAST).step, 5);
  EXPECT_TRUE(byId(listed, V4L2_CID_CONTRAST).inactive);
  EXPECT_TRUE(byId(listed, V4L2_CID_HUE).disabled);
  EXPECT_TRUE(byId(listed, V4L2_CID_GAIN).readOnly);
  EXPECT_EQ(byId(listed, V4L2_CID_AUTO_WHITE_BALANCE).type, ControlType::Boolean);
  EXPECT_EQ(byId(listed, V4L2_CID_AUTO_WHITE_BALANCE).defaultValue, 1);
  EXPECT_EQ(byId(listed, V4L2_CID_PAN_RESET).type, ControlType::Button);

  const ControlInfo& exposure = byId(listed, V4L2_CID_EXPOSURE_AUTO);
  EXPECT_EQ(exposure.type, ControlType::Menu);
  EXPECT_EQ(exposure.defaultValue, 3);
  EXPECT_EQ(itemsOf(exposure), (std::vector<std::pair<std::int64_t, std::string>>{
                                   {1, "Manual Mode"}, {3, "Aperture Priority Mode"}}));
  EXPECT_EQ(itemsOf(byId(listed, V4L2_CID_POWER_LINE_FREQUENCY)).size(), 3u);
  const ControlInfo& bias = byId(listed, V4L2_CID_AUTO_EXPOSURE_BIAS);
  EXPECT_EQ(bias.type, ControlType::Menu);
  EXPECT_EQ(itemsOf(bias), (std::vector<std::pair<std::int64_t, std::string>>{
                               {0, "-2000"}, {1, "0"}, {2, "2000"}}));
  EXPECT_EQ(io.ioctlCount(kNode, VIDIOC_QUERYCTRL), 0);
}

TEST_F(V4l2ControlsTest, FallsBackToQueryctrlWhenExtendedQueriesAreUnknown) {
  io.failIoctl(kNode, VIDIOC_QUERY_EXT_CTRL, ENOTTY);
  V4l2Controls controls(io, kNode);
  const auto listed = controls.list();
  EXPECT_EQ(idsOf(listed), kListedIds);
  EXPECT_GT(io.ioctlCount(kNode, VIDIOC_QUERYCTRL), 0);
  EXPECT_EQ(byId(listed, V4L2_CID_BRIGHTNESS).minimum, -64);
  EXPECT_EQ(itemsOf(byId(listed, V4L2_CID_EXPOSURE_AUTO)).size(), 2u);
}

TEST_F(V4l2ControlsTest, GetsAndSetsThroughTheDriver) {
  V4l2Controls controls(io, kNode);
  EXPECT_EQ(controls.get(V4L2_CID_GAIN), 16);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, -10), 0);
  EXPECT_EQ(controls.get(V4L2_CID_BRIGHTNESS), -10);
  EXPECT_EQ(controls.set(V4L2_CID_CONTRAST, 62), 0);  // inactive, still taken; rounded to 60
  EXPECT_EQ(controls.get(V4L2_CID_CONTRAST), 60);
  EXPECT_EQ(controls.set(V4L2_CID_POWER_LINE_FREQUENCY, 2), 0);
  EXPECT_EQ(controls.get(V4L2_CID_POWER_LINE_FREQUENCY), 2);
  EXPECT_EQ(controls.set(V4L2_CID_PAN_RESET, 1), 0);
  EXPECT_EQ(controls.get(V4L2_CID_PAN_RESET), std::nullopt);  // write-only
}

TEST_F(V4l2ControlsTest, SetReportsTheDriversRefusal) {
  V4l2Controls controls(io, kNode);
  EXPECT_EQ(controls.set(V4L2_CID_GAIN, 20), EACCES);
  EXPECT_EQ(controls.set(V4L2_CID_HUE, 20), EINVAL);
  EXPECT_EQ(controls.get(V4L2_CID_HUE), std::nullopt);
  EXPECT_EQ(controls.set(V4L2_CID_EXPOSURE_AUTO, 2), EINVAL);  // a gap in the menu
  EXPECT_EQ(controls.set(V4L2_CID_EXPOSURE_AUTO, 7), ERANGE);
  EXPECT_EQ(controls.set(V4L2_CID_SATURATION, 1), EINVAL);
  EXPECT_EQ(controls.get(V4L2_CID_SATURATION), std::nullopt);

  const int asked = io.ioctlCount(kNode, VIDIOC_S_CTRL);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, std::int64_t{1} << 40), ERANGE);
  EXPECT_EQ(io.ioctlCount(kNode, VIDIOC_S_CTRL), asked);

  io.failIoctl(kNode, VIDIOC_S_CTRL, EBUSY, 1);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 5), EBUSY);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 5), 0);
  EXPECT_EQ(storedValue(V4L2_CID_BRIGHTNESS), 5);
}

TEST_F(V4l2ControlsTest, VanishedDeviceGivesNothingAndEnodev) {
  {
    V4l2Controls controls(io, kNode);
    ASSERT_EQ(controls.list().size(), kListedIds.size());
    EXPECT_EQ(io.openFdCount(), 1u);
    io.vanish(kNode);
    EXPECT_TRUE(controls.list().empty());
    EXPECT_EQ(controls.get(V4L2_CID_BRIGHTNESS), std::nullopt);
    EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 1), ENODEV);
  }
  EXPECT_EQ(io.openFdCount(), 0u);

  V4l2Controls late(io, kNode);  // opened after the unplug
  EXPECT_TRUE(late.list().empty());
  EXPECT_EQ(late.get(V4L2_CID_BRIGHTNESS), std::nullopt);
  EXPECT_EQ(late.set(V4L2_CID_BRIGHTNESS, 1), ENODEV);
}

TEST_F(V4l2ControlsTest, DeviceVanishingMidEnumerationListsNothing) {
  V4l2Controls complete(io, kNode);
  ASSERT_EQ(complete.list().size(), kListedIds.size());
  const int asked =
      io.ioctlCount(kNode, VIDIOC_QUERY_EXT_CTRL) + io.ioctlCount(kNode, VIDIOC_QUERYMENU);
  ASSERT_GT(asked, static_cast<int>(kListedIds.size()));
  // Every point at which the device can go: between controls and between menu items.
  for (int answered = 0; answered < asked; ++answered) {
    FakeV4l2Io fresh;
    fresh.addDevice(kNode, cameraWithControls());
    fresh.vanishAfterIoctls(kNode, answered);
    V4l2Controls doomed(fresh, kNode);
    EXPECT_TRUE(doomed.list().empty()) << "after " << answered << " answers";
  }
}

}  // namespace
}  // namespace kovracam
