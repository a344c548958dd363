// A V4L2 node's controls read and set through the fake kernel.

#include "capture/v4l2/v4l2_controls.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <sstream>
#include <tuple>

#include "tests/fakes/fake_v4l2_io.h"

namespace kovracam {
namespace {

constexpr const char* kNode = "/dev/video0";

FakeControl with(FakeControl control, std::uint32_t flags,
                 std::uint32_t type = V4L2_CTRL_TYPE_INTEGER) {
  control.flags = flags;
  control.type = type;
  return control;
}

// Listed are the user and camera class controls an application can show, in id order.
FakeDevice cameraWithControls() {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.controls = {
      fakeClassControl(V4L2_CID_CAMERA_CLASS, "Camera Controls"),
      fakeMenuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure",
                      {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
      fakeButtonControl(V4L2_CID_PAN_RESET, "Pan, Reset"),
      fakeIntegerMenuControl(V4L2_CID_AUTO_EXPOSURE_BIAS, "Bias", {{0, -2000}, {2, 2000}}, 2),
      fakeIntegerControl(V4L2_CID_MPEG_VIDEO_BITRATE, "Bitrate", 1, 20'000'000, 1, 4'000'000),
      fakeClassControl(V4L2_CID_USER_CLASS, "User Controls"),
      fakeIntegerControl(V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0),
      with(fakeIntegerControl(V4L2_CID_CONTRAST, "Contrast", 0, 100, 5, 50),
           V4L2_CTRL_FLAG_INACTIVE),
      with(fakeIntegerControl(V4L2_CID_HUE, "Hue", -180, 180, 1, 0), V4L2_CTRL_FLAG_DISABLED),
      fakeBooleanControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", true),
      with(fakeIntegerControl(V4L2_CID_GAIN, "Gain", 0, 255, 1, 16), V4L2_CTRL_FLAG_READ_ONLY),
      with(fakeIntegerControl(V4L2_CID_USER_BASE + 0x1100, "Pixel Rate", 0, 1, 1, 0), 0,
           V4L2_CTRL_TYPE_INTEGER64),
      with(fakeIntegerControl(V4L2_CID_USER_BASE + 0x1101, "Text", 0, 31, 1, 0), 0,
           V4L2_CTRL_TYPE_STRING),
  };
  return camera;
}

const std::vector<std::uint32_t> kListedIds = {
    V4L2_CID_BRIGHTNESS, V4L2_CID_CONTRAST,      V4L2_CID_HUE,       V4L2_CID_AUTO_WHITE_BALANCE,
    V4L2_CID_GAIN,       V4L2_CID_EXPOSURE_AUTO, V4L2_CID_PAN_RESET, V4L2_CID_AUTO_EXPOSURE_BIAS};

// A control in one line: name, kind, range and step, default, flags and menu items.
std::string summary(const ControlInfo& c) {
  std::ostringstream out;
  out << c.name << " " << static_cast<int>(c.type) << " " << c.minimum << ".." << c.maximum << "/"
      << c.step << " =" << c.defaultValue << (c.disabled ? " disabled" : "")
      << (c.inactive ? " inactive" : "") << (c.readOnly ? " read-only" : "");
  for (const auto& item : c.menu) out << " " << item.index << ":" << item.name;
  return out.str();
}

// What both query paths must list for cameraWithControls(), in id order.
void expectListed(V4l2Controls& controls) {
  const auto listed = controls.list();
  std::vector<std::uint32_t> ids;
  std::vector<std::string> summaries;
  for (const auto& control : listed) {
    ids.push_back(control.id);
    summaries.push_back(summary(control));
  }
  EXPECT_EQ(ids, kListedIds);
  EXPECT_EQ(summaries, (std::vector<std::string>{
                           "Brightness 0 -64..64/1 =0", "Contrast 0 0..100/5 =50 inactive",
                           "Hue 0 -180..180/1 =0 disabled", "White Balance, Automatic 1 0..1/1 =1",
                           "Gain 0 0..255/1 =16 read-only",
                           "Auto Exposure 2 1..3/1 =3 1:Manual Mode 3:Aperture Priority Mode",
                           "Pan, Reset 3 0..0/0 =0", "Bias 2 0..2/1 =2 0:-2000 2:2000"}));
}

class V4l2ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { io.addDevice(kNode, cameraWithControls()); }
  FakeV4l2Io io;
};

TEST_F(V4l2ControlsTest, ListsUserAndCameraControlsInIdOrder) {
  V4l2Controls controls(io, kNode);
  expectListed(controls);
  EXPECT_EQ(io.ioctlCount(kNode, VIDIOC_QUERYCTRL), 0);
}

TEST_F(V4l2ControlsTest, FallsBackToQueryctrlWhenExtendedQueriesAreUnknown) {
  io.failIoctl(kNode, VIDIOC_QUERY_EXT_CTRL, ENOTTY);
  V4l2Controls controls(io, kNode);
  expectListed(controls);
  EXPECT_GT(io.ioctlCount(kNode, VIDIOC_QUERYCTRL), 0);
}

TEST_F(V4l2ControlsTest, SetsThroughTheDriverAndReportsItsRefusal) {
  V4l2Controls controls(io, kNode);
  // Control, value, what set() returns and what get() reads afterwards. Contrast is inactive
  // and takes values rounded to its step; exposure 2 is a gap in the menu; gain is read-only,
  // the pan reset write-only, hue disabled and saturation absent.
  const std::tuple<std::uint32_t, std::int64_t, int, std::optional<std::int64_t>> cases[] = {
      {V4L2_CID_BRIGHTNESS, -10, 0, -10},
      {V4L2_CID_CONTRAST, 62, 0, 60},
      {V4L2_CID_EXPOSURE_AUTO, 1, 0, 1},
      {V4L2_CID_EXPOSURE_AUTO, 2, EINVAL, 1},
      {V4L2_CID_EXPOSURE_AUTO, 7, ERANGE, 1},
      {V4L2_CID_GAIN, 20, EACCES, 16},
      {V4L2_CID_PAN_RESET, 1, 0, std::nullopt},
      {V4L2_CID_HUE, 20, EINVAL, std::nullopt},
      {V4L2_CID_SATURATION, 1, EINVAL, std::nullopt}};
  for (const auto& [id, value, error, after] : cases) {
    EXPECT_EQ(controls.set(id, value), error) << std::hex << id;
    EXPECT_EQ(controls.get(id), after) << std::hex << id;
  }
  // A value no 32-bit control can hold never reaches the driver.
  const int asked = io.ioctlCount(kNode, VIDIOC_S_CTRL);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, std::int64_t{1} << 40), ERANGE);
  EXPECT_EQ(io.ioctlCount(kNode, VIDIOC_S_CTRL), asked);
  io.failIoctl(kNode, VIDIOC_S_CTRL, EBUSY, 1);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 5), EBUSY);
  EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 5), 0);
}

TEST_F(V4l2ControlsTest, DeviceVanishingAtAnyPointGivesNothingAndEnodev) {
  {
    V4l2Controls controls(io, kNode);
    ASSERT_EQ(controls.list().size(), kListedIds.size());
    io.vanish(kNode);
    EXPECT_TRUE(controls.list().empty());
    EXPECT_EQ(controls.get(V4L2_CID_BRIGHTNESS), std::nullopt);
    EXPECT_EQ(controls.set(V4L2_CID_BRIGHTNESS, 1), ENODEV);
  }
  EXPECT_EQ(io.openFdCount(), 0u);
  EXPECT_EQ(V4l2Controls(io, kNode).set(V4L2_CID_BRIGHTNESS, 1), ENODEV);  // opened after

  // Every point at which the device can go: between controls and between menu items.
  const int asked =
      io.ioctlCount(kNode, VIDIOC_QUERY_EXT_CTRL) + io.ioctlCount(kNode, VIDIOC_QUERYMENU);
  ASSERT_GT(asked, static_cast<int>(kListedIds.size()));
  for (int answered = 0; answered < asked; ++answered) {
    FakeV4l2Io fresh;
    fresh.addDevice(kNode, cameraWithControls());
    fresh.vanishAfterIoctls(kNode, answered);
    EXPECT_TRUE(V4l2Controls(fresh, kNode).list().empty()) << "after " << answered << " answers";
  }
}

}  // namespace
}  // namespace kovracam
