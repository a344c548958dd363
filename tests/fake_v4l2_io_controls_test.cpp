// The fake kernel's control ioctls against what the kernel's control framework answers.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <string>
#include <vector>

#include "capture/fake_v4l2_io.h"

namespace kovracam {
namespace {

class FakeV4l2IoControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeDevice camera = fakeUvcCamera("Control Camera");
    // Registered out of id order on purpose: enumeration must still ascend.
    camera.controls = {
        fakeIntegerControl(V4L2_CID_CONTRAST, "Contrast", 0, 100, 5, 50),
        fakeMenuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure",
                        {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
        fakeClassControl(V4L2_CID_USER_CLASS, "User Controls"),
        fakeIntegerControl(V4L2_CID_BRIGHTNESS, "Brightness", -64, 64, 1, 0),
        fakeBooleanControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", true),
        fakeButtonControl(V4L2_CID_PAN_RESET, "Pan, Reset"),
        fakeIntegerMenuControl(V4L2_CID_AUTO_EXPOSURE_BIAS, "Exposure Bias",
                               {{0, -2000}, {1, 0}, {2, 2000}}, 1),
    };
    FakeControl pixelRate = fakeIntegerControl(V4L2_CID_USER_BASE + 0x1100, "Pixel Rate", 0,
                                               6'000'000'000, 1, 5'000'000'000);
    pixelRate.type = V4L2_CTRL_TYPE_INTEGER64;
    camera.controls.push_back(pixelRate);
    FakeControl gain = fakeIntegerControl(V4L2_CID_GAIN, "Gain", 0, 255, 1, 16);
    gain.flags = V4L2_CTRL_FLAG_READ_ONLY;
    camera.controls.push_back(gain);
    FakeControl hue = fakeIntegerControl(V4L2_CID_HUE, "Hue", -180, 180, 1, 0);
    hue.flags = V4L2_CTRL_FLAG_DISABLED;
    camera.controls.push_back(hue);
    io.addDevice("/dev/video0", camera);
    fd = io.open("/dev/video0", O_RDWR);
    ASSERT_GE(fd, 0);
  }

  void TearDown() override { io.close(fd); }

  // 0, or the errno of the failed call.
  int ioctlError(unsigned long request, void* arg) {
    return io.ioctl(fd, request, arg) == 0 ? 0 : errno;
  }

  // {0 or errno, value written back}.
  std::pair<int, std::int32_t> setControl(std::uint32_t id, std::int32_t value) {
    v4l2_control control{id, value};
    const int error = ioctlError(VIDIOC_S_CTRL, &control);
    return {error, control.value};
  }

  FakeV4l2Io io;
  int fd = -1;
};

TEST_F(FakeV4l2IoControlsTest, NextCtrlEnumeratesInAscendingIdOrderAndEndsWithEinval) {
  std::vector<std::uint32_t> ids;
  v4l2_query_ext_ctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (ioctlError(VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
    ids.push_back(query.id);
    query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  EXPECT_EQ(errno, EINVAL);
  const std::vector<std::uint32_t> expected = {
      V4L2_CID_USER_CLASS,         V4L2_CID_BRIGHTNESS,
      V4L2_CID_CONTRAST,           V4L2_CID_HUE,
      V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_GAIN,
      V4L2_CID_USER_BASE + 0x1100, V4L2_CID_EXPOSURE_AUTO,
      V4L2_CID_PAN_RESET,          V4L2_CID_AUTO_EXPOSURE_BIAS};
  EXPECT_EQ(ids, expected);
}

TEST_F(FakeV4l2IoControlsTest, QueriesByExactIdWithBothCalls) {
  v4l2_query_ext_ctrl ext{};
  ext.id = V4L2_CID_USER_BASE + 0x1100;
  ASSERT_EQ(ioctlError(VIDIOC_QUERY_EXT_CTRL, &ext), 0);
  EXPECT_EQ(ext.type, V4L2_CTRL_TYPE_INTEGER64);
  EXPECT_EQ(ext.maximum, 6'000'000'000);
  EXPECT_EQ(ext.elem_size, 8u);

  // The old call has no room for 64-bit ranges and reports none.
  v4l2_queryctrl old{};
  old.id = V4L2_CID_USER_BASE + 0x1100;
  ASSERT_EQ(ioctlError(VIDIOC_QUERYCTRL, &old), 0);
  EXPECT_EQ(old.maximum, 0);
  old = {};
  old.id = V4L2_CID_BRIGHTNESS;
  ASSERT_EQ(ioctlError(VIDIOC_QUERYCTRL, &old), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(old.name), "Brightness");
  EXPECT_EQ(old.minimum, -64);
  EXPECT_EQ(old.maximum, 64);

  old = {};
  old.id = V4L2_CID_PAN_RESET;
  ASSERT_EQ(ioctlError(VIDIOC_QUERYCTRL, &old), 0);
  EXPECT_EQ(old.type, V4L2_CTRL_TYPE_BUTTON);
  EXPECT_TRUE(old.flags & V4L2_CTRL_FLAG_WRITE_ONLY);

  old = {};
  old.id = V4L2_CID_SATURATION;
  EXPECT_EQ(ioctlError(VIDIOC_QUERYCTRL, &old), EINVAL);
}

TEST_F(FakeV4l2IoControlsTest, MenuItemsHaveGapsThatAnswerEinval) {
  v4l2_querymenu item{};
  item.id = V4L2_CID_EXPOSURE_AUTO;
  std::vector<std::uint32_t> answered;
  for (std::uint32_t index = 0; index <= 4; ++index) {
    item.index = index;
    if (ioctlError(VIDIOC_QUERYMENU, &item) == 0) {
      answered.push_back(index);
    } else {
      EXPECT_EQ(errno, EINVAL) << "index " << index;
    }
  }
  EXPECT_EQ(answered, (std::vector<std::uint32_t>{1, 3}));
  item.index = 3;
  ASSERT_EQ(ioctlError(VIDIOC_QUERYMENU, &item), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(item.name), "Aperture Priority Mode");

  item = {};
  item.id = V4L2_CID_AUTO_EXPOSURE_BIAS;
  item.index = 2;
  ASSERT_EQ(ioctlError(VIDIOC_QUERYMENU, &item), 0);
  const std::int64_t value = item.value;
  EXPECT_EQ(value, 2000);

  item = {};
  item.id = V4L2_CID_BRIGHTNESS;  // not a menu
  EXPECT_EQ(ioctlError(VIDIOC_QUERYMENU, &item), EINVAL);
}

TEST_F(FakeV4l2IoControlsTest, SetControlRoundsIntegersAndChecksMenus) {
  EXPECT_EQ(setControl(V4L2_CID_CONTRAST, 62), std::make_pair(0, 60));
  EXPECT_EQ(setControl(V4L2_CID_CONTRAST, 63), std::make_pair(0, 65));
  EXPECT_EQ(setControl(V4L2_CID_CONTRAST, 1000), std::make_pair(0, 100));
  EXPECT_EQ(setControl(V4L2_CID_BRIGHTNESS, -1000), std::make_pair(0, -64));
  EXPECT_EQ(setControl(V4L2_CID_AUTO_WHITE_BALANCE, 7), std::make_pair(0, 1));
  EXPECT_EQ(setControl(V4L2_CID_EXPOSURE_AUTO, 1).first, 0);
  EXPECT_EQ(setControl(V4L2_CID_EXPOSURE_AUTO, 2).first, EINVAL);  // a gap
  EXPECT_EQ(setControl(V4L2_CID_EXPOSURE_AUTO, 4).first, ERANGE);
  EXPECT_EQ(setControl(V4L2_CID_EXPOSURE_AUTO, 0).first, ERANGE);
  EXPECT_EQ(setControl(V4L2_CID_PAN_RESET, 1).first, 0);

  v4l2_control control{V4L2_CID_EXPOSURE_AUTO, 0};
  ASSERT_EQ(ioctlError(VIDIOC_G_CTRL, &control), 0);
  EXPECT_EQ(control.value, 1);
  control = {V4L2_CID_CONTRAST, 0};
  ASSERT_EQ(ioctlError(VIDIOC_G_CTRL, &control), 0);
  EXPECT_EQ(control.value, 100);
}

TEST_F(FakeV4l2IoControlsTest, FlagsRefuseAccessLikeTheKernel) {
  EXPECT_EQ(setControl(V4L2_CID_GAIN, 20).first, EACCES);               // read-only
  EXPECT_EQ(setControl(V4L2_CID_HUE, 20).first, EINVAL);                // disabled
  EXPECT_EQ(setControl(V4L2_CID_USER_CLASS, 0).first, EACCES);          // class heading
  EXPECT_EQ(setControl(V4L2_CID_SATURATION, 0).first, EINVAL);          // absent
  EXPECT_EQ(setControl(V4L2_CID_USER_BASE + 0x1100, 1).first, EINVAL);  // 64-bit

  v4l2_control control{V4L2_CID_GAIN, 0};
  ASSERT_EQ(ioctlError(VIDIOC_G_CTRL, &control), 0);
  EXPECT_EQ(control.value, 16);
  control = {V4L2_CID_HUE, 0};
  EXPECT_EQ(ioctlError(VIDIOC_G_CTRL, &control), EINVAL);
  control = {V4L2_CID_PAN_RESET, 0};
  EXPECT_EQ(ioctlError(VIDIOC_G_CTRL, &control), EACCES);  // write-only
}

TEST_F(FakeV4l2IoControlsTest, InactiveControlsStillTakeValues) {
  io.device("/dev/video0")->controls.front().flags = V4L2_CTRL_FLAG_INACTIVE;  // Contrast
  EXPECT_EQ(setControl(V4L2_CID_CONTRAST, 30), std::make_pair(0, 30));
  EXPECT_EQ(io.device("/dev/video0")->controls.front().value, 30);
}

}  // namespace
}  // namespace kovracam
