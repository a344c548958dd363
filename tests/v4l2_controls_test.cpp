// A V4L2 node's controls read and set through the fake kernel.

#include "capture/linux/v4l2/v4l2_controls.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <sstream>
#include <tuple>

#include "tests/fakes/fake_v4l2_io.h"

namespace kovracam {
namespace {

constexpr const char* kNode = "/dev/video0";

FakeControl control(std::uint32_t id, const char* name, std::uint32_t type, std::int64_t min,
                    std::int64_t max, std::int64_t def, std::uint32_t flags = 0,
                    std::map<std::uint32_t, std::string> menu = {}) {
  return {id, name, type, min, max, type == V4L2_CTRL_TYPE_INTEGER ? 5u : 1u, def, flags, menu};
}

// Listed are the user and camera class controls an application can show, in id order; class
// headings and codec controls are not. The menus have gaps; integer steps are 5.
FakeDevice cameraWithControls() {
  FakeDevice camera = fakeUvcCamera("Test");
  using F = std::uint32_t;
  camera.controls = {
      control(V4L2_CID_CAMERA_CLASS, "Camera", V4L2_CTRL_TYPE_CTRL_CLASS, 0, 0, 0,
              F{V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY}),
      control(V4L2_CID_EXPOSURE_AUTO, "Exposure", V4L2_CTRL_TYPE_MENU, 1, 3, 3, 0,
              {{1, "Manual"}, {3, "Aperture"}}),
      control(V4L2_CID_PAN_RESET, "Pan Reset", V4L2_CTRL_TYPE_BUTTON, 0, 0, 0,
              V4L2_CTRL_FLAG_WRITE_ONLY),
      control(V4L2_CID_AUTO_EXPOSURE_BIAS, "Bias", V4L2_CTRL_TYPE_INTEGER_MENU, 0, 2, 2, 0,
              {{0, "-2000"}, {2, "2000"}}),
      control(V4L2_CID_MPEG_VIDEO_BITRATE, "Bitrate", V4L2_CTRL_TYPE_INTEGER, 0, 100, 0),
      control(V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -60, 60, 0),
      control(V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 100, 50,
              V4L2_CTRL_FLAG_INACTIVE),
      control(V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -180, 180, 0, V4L2_CTRL_FLAG_DISABLED),
      control(V4L2_CID_AUTO_WHITE_BALANCE, "Auto White", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1),
      control(V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, 0, 255, 15, V4L2_CTRL_FLAG_READ_ONLY)};
  return camera;
}

// Each listed control in one line: id, name, kind, range and step, default, flags, menu items.
std::vector<std::string> listed(V4l2Controls&& controls) {
  std::vector<std::string> lines;
  for (const ControlInfo& c : controls.list()) {
    std::ostringstream out;
    out << std::hex << c.id << std::dec << " " << c.name << " " << static_cast<int>(c.type) << " "
        << c.minimum << ".." << c.maximum << "/" << c.step << " =" << c.defaultValue
        << (c.disabled ? " disabled" : "") << (c.inactive ? " inactive" : "")
        << (c.readOnly ? " read-only" : "");
    for (const auto& item : c.menu) out << " " << item.index << ":" << item.name;
    lines.push_back(out.str());
  }
  return lines;
}

class V4l2ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { io.addDevice(kNode, cameraWithControls()); }
  FakeV4l2Io io;
};

TEST_F(V4l2ControlsTest, ListsUserAndCameraControlsInIdOrderWithEitherQuery) {
  const std::vector<std::string> expected = {
      "980900 Brightness 0 -60..60/5 =0",     "980901 Contrast 0 0..100/5 =50 inactive",
      "980903 Hue 0 -180..180/5 =0 disabled", "98090c Auto White 1 0..1/1 =1",
      "980913 Gain 0 0..255/5 =15 read-only", "9a0901 Exposure 2 1..3/1 =3 1:Manual 3:Aperture",
      "9a0906 Pan Reset 3 0..0/1 =0",         "9a0913 Bias 2 0..2/1 =2 0:-2000 2:2000"};
  EXPECT_EQ(listed(V4l2Controls(io, kNode)), expected);
  // Drivers older than the 64-bit query only know the original one.
  io.failIoctl(kNode, VIDIOC_QUERY_EXT_CTRL, ENOTTY);
  EXPECT_EQ(listed(V4l2Controls(io, kNode)), expected);
}

TEST_F(V4l2ControlsTest, SetsThroughTheDriverAndReportsItsRefusal) {
  V4l2Controls controls(io, kNode);
  // Control, value, what set() returns and what get() reads afterwards. The driver rounds to the
  // step; the pan reset is write-only, saturation absent.
  const std::tuple<std::uint32_t, std::int64_t, int, std::optional<std::int64_t>> cases[] = {
      {V4L2_CID_BRIGHTNESS, -10, 0, -10},
      {V4L2_CID_CONTRAST, 62, 0, 60},
      {V4L2_CID_EXPOSURE_AUTO, 1, 0, 1},
      {V4L2_CID_EXPOSURE_AUTO, 2, EINVAL, 1},
      {V4L2_CID_EXPOSURE_AUTO, 7, ERANGE, 1},
      {V4L2_CID_GAIN, 20, EACCES, 15},
      {V4L2_CID_PAN_RESET, 1, 0, std::nullopt},
      {V4L2_CID_HUE, 20, EINVAL, std::nullopt},
      {V4L2_CID_SATURATION, 1, EINVAL, std::nullopt}};
  for (const auto& [id, value, error, after] : cases) {
    EXPECT_EQ(controls.set(id, value), error) << std::hex << id;
    EXPECT_EQ(controls.get(id), after) << std::hex << id;
  }
  // A value no 32-bit control can hold never reaches the driver.
  const int asked = io.ioctlCount(kNode, VIDIOC_S_CTRL);
  for (std::int64_t big : {std::int64_t{1} << 40, -(std::int64_t{1} << 40)})
    EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, big), ERANGE);
  EXPECT_EQ(io.ioctlCount(kNode, VIDIOC_S_CTRL), asked);
  io.failIoctl(kNode, VIDIOC_S_CTRL, EBUSY, 1);
  EXPECT_TRUE(controls.set(V4L2_CID_BRIGHTNESS, 5) == EBUSY &&
              controls.set(V4L2_CID_BRIGHTNESS, 5) == 0);
}

TEST_F(V4l2ControlsTest, DeviceVanishingAtAnyPointGivesNothingAndEnodev) {
  {
    V4l2Controls controls(io, kNode);
    ASSERT_EQ(controls.list().size(), 8u);
    io.vanish(kNode);
    EXPECT_TRUE(controls.list().empty() && !controls.get(V4L2_CID_BRIGHTNESS) &&
                controls.set(V4L2_CID_BRIGHTNESS, 1) == ENODEV);
  }
  EXPECT_TRUE(io.openFdCount() == 0 &&  // then one opened after
              V4l2Controls(io, kNode).set(V4L2_CID_BRIGHTNESS, 1) == ENODEV);
  // Every point at which the device can go: between controls and between menu items.
  const int asked =
      io.ioctlCount(kNode, VIDIOC_QUERY_EXT_CTRL) + io.ioctlCount(kNode, VIDIOC_QUERYMENU);
  for (int answered = 0; answered < asked; ++answered) {
    io.addDevice(kNode, cameraWithControls());  // a new device in the node
    io.vanishAfterIoctls(kNode, answered);
    EXPECT_TRUE(V4l2Controls(io, kNode).list().empty()) << "after " << answered << " answers";
  }
}

}  // namespace
}  // namespace kovracam
