// The fake kernel must fail exactly where the real one does, or it hides faults in the code that
// runs against it: files, descriptors, formats and controls as the kernel and its control
// framework answer them.

#include "tests/fakes/fake_v4l2_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

namespace kovracam {
namespace {

using Names = std::vector<std::string>;
constexpr std::uint32_t kPixelRate = V4L2_CID_USER_BASE + 0x1100;

FakeControl with(FakeControl control, std::uint32_t flags,
                 std::uint32_t type = V4L2_CTRL_TYPE_INTEGER) {
  control.flags = flags;
  control.type = type;
  return control;
}

class FakeV4l2IoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    io.addDevice("/dev/video0", fakeUvcCamera("Desk Camera"));
    io.addDevice("/dev/video1", fakeUvcMetadataNode("Desk Camera"));
    io.addLink("/dev/v4l/by-id/usb-Desk_Camera-video-index0", "../../video0");
    fd = io.open("/dev/video0", O_RDWR);
    ASSERT_GE(fd, 0);
  }
  // 0, or the errno of the failed call.
  int error(unsigned long request, void* arg) { return io.ioctl(fd, request, arg) ? errno : 0; }
  // The answers of an enumeration, which must end as the kernel's do: with EINVAL.
  template <typename Query>
  std::vector<Query> enumerate(unsigned long request, Query query) {
    std::vector<Query> answers;
    for (query.index = 0; error(request, &query) == 0; ++query.index) answers.push_back(query);
    EXPECT_EQ(errno, EINVAL);
    return answers;
  }

  // Registered out of id order on purpose: enumeration must still ascend.
  void addControls() {
    io.device("/dev/video0")->controls = {
        with(fakeIntegerControl(V4L2_CID_CONTRAST, "Contrast", 0, 100, 5, 50),
             V4L2_CTRL_FLAG_INACTIVE),
        fakeMenuControl(V4L2_CID_EXPOSURE_AUTO, "Auto Exposure",
                        {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}, 3),
        fakeClassControl(V4L2_CID_USER_CLASS, "User Controls"),
        fakeBooleanControl(V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", true),
        fakeButtonControl(V4L2_CID_PAN_RESET, "Pan, Reset"),
        fakeIntegerMenuControl(V4L2_CID_AUTO_EXPOSURE_BIAS, "Bias", {{1, -2000}, {3, 2000}}, 1),
        with(fakeIntegerControl(kPixelRate, "Pixel Rate", 0, 6'000'000'000, 1, 0), 0,
             V4L2_CTRL_TYPE_INTEGER64),
        with(fakeIntegerControl(V4L2_CID_GAIN, "Gain", 0, 255, 1, 16), V4L2_CTRL_FLAG_READ_ONLY),
        with(fakeIntegerControl(V4L2_CID_HUE, "Hue", -180, 180, 1, 0), V4L2_CTRL_FLAG_DISABLED)};
  }

  FakeV4l2Io io;
  int fd = -1;
  v4l2_capability cap{};
};

// errno after a call that returned `failed`, or 0.
int errorIf(bool failed) { return failed ? errno : 0; }

TEST_F(FakeV4l2IoTest, FilesAndDescriptorsFailLikeTheKernel) {
  EXPECT_EQ(io.listDirectory("/dev"), (Names{"v4l", "video0", "video1"}));
  EXPECT_EQ(io.listDirectory("/dev/v4l/"), Names{"by-id"});
  io.addLink("/dev/camera", "/dev/v4l/by-id/usb-Desk_Camera-video-index0");
  io.addLink("/dev/dangling", "video7");
  io.addLink("/dev/loop-a", "loop-b");
  io.addLink("/dev/loop-b", "loop-a");
  EXPECT_EQ(io.resolveLink("/dev/camera"), "/dev/video0");  // through a relative link
  EXPECT_EQ(errorIf(!io.listDirectory("/dev/snd")), ENOENT);
  EXPECT_EQ(errorIf(!io.listDirectory("/dev/video0")), ENOTDIR);
  EXPECT_EQ(errorIf(!io.resolveLink("/dev/dangling")), ENOENT);
  EXPECT_EQ(errorIf(!io.resolveLink("/dev/loop-a")), ELOOP);
  EXPECT_EQ(errorIf(io.open("/dev/video9", O_RDWR) == -1), ENOENT);

  const int second = io.open("/dev/camera", O_RDWR);
  ASSERT_EQ(io.ioctl(second, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(cap.card), "Desk Camera");
  v4l2_requestbuffers buffers{};
  EXPECT_EQ(error(VIDIOC_REQBUFS, &buffers), ENOTTY);
  EXPECT_EQ(io.close(fd), 0);
  EXPECT_EQ(errorIf(io.close(fd) == -1), EBADF);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), EBADF);
  EXPECT_EQ(io.open("/dev/video1", O_RDWR), fd);  // the lowest free number again
  EXPECT_EQ(io.openFdCount(), 2u);
}

TEST_F(FakeV4l2IoTest, EnumeratesFormatsSizesAndIntervalsOfCaptureNodesOnly) {
  v4l2_fmtdesc desc{};
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  const auto formats = enumerate(VIDIOC_ENUM_FMT, desc);
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_EQ(formats[1].pixelformat, V4L2_PIX_FMT_MJPEG);
  EXPECT_EQ(formats[1].flags, V4L2_FMT_FLAG_COMPRESSED);
  v4l2_frmsizeenum size{};
  size.pixel_format = V4L2_PIX_FMT_YUYV;
  const auto sizes = enumerate(VIDIOC_ENUM_FRAMESIZES, size);
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_EQ(sizes[1].type, V4L2_FRMSIZE_TYPE_DISCRETE);
  EXPECT_EQ(sizes[1].discrete.width, 320u);
  v4l2_frmivalenum interval{};
  interval.pixel_format = V4L2_PIX_FMT_YUYV;
  interval.width = 640;
  interval.height = 480;
  const auto intervals = enumerate(VIDIOC_ENUM_FRAMEINTERVALS, interval);
  ASSERT_EQ(intervals.size(), 2u);
  EXPECT_EQ(intervals[1].discrete.denominator, 15u);
  interval.width = 1280;  // YUYV does not offer 1280x480
  EXPECT_TRUE(enumerate(VIDIOC_ENUM_FRAMEINTERVALS, interval).empty());
  size.pixel_format = V4L2_PIX_FMT_NV12;
  EXPECT_TRUE(enumerate(VIDIOC_ENUM_FRAMESIZES, size).empty());

  // A size range is one stepwise or continuous answer; its intervals hold on its grid only.
  FakeDevice& camera = *io.device("/dev/video0");
  camera.formats[0].sizes.clear();
  camera.formats[0].sizeRange = v4l2_frmsize_stepwise{320, 1280, 16, 240, 720, 8};
  camera.formats[0].rangeIntervals = {{1, 25}};
  camera.formats[1].sizes.clear();
  camera.formats[1].sizeRange = v4l2_frmsize_stepwise{64, 4096, 1, 64, 4096, 1};
  size.pixel_format = V4L2_PIX_FMT_YUYV;
  const auto stepwise = enumerate(VIDIOC_ENUM_FRAMESIZES, size);
  ASSERT_EQ(stepwise.size(), 1u);
  EXPECT_EQ(stepwise[0].type, V4L2_FRMSIZE_TYPE_STEPWISE);
  EXPECT_EQ(stepwise[0].stepwise.step_height, 8u);
  size.pixel_format = V4L2_PIX_FMT_MJPEG;
  EXPECT_EQ(enumerate(VIDIOC_ENUM_FRAMESIZES, size).at(0).type, V4L2_FRMSIZE_TYPE_CONTINUOUS);
  interval.width = 336;
  interval.height = 248;
  EXPECT_EQ(enumerate(VIDIOC_ENUM_FRAMEINTERVALS, interval).at(0).discrete.denominator, 25u);
  interval.width = 330;
  EXPECT_TRUE(enumerate(VIDIOC_ENUM_FRAMEINTERVALS, interval).empty());

  // Whether a node captures is in its own caps; old drivers give only `capabilities`.
  FakeDevice old = fakeUvcCamera(std::string(40, 'c'));  // the kernel cuts the card to 31 bytes
  old.capabilities = V4L2_CAP_VIDEO_CAPTURE;
  old.deviceCaps = 0;
  io.addDevice("/dev/video2", old);
  fd = io.open("/dev/video2", O_RDWR);
  ASSERT_EQ(error(VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(reinterpret_cast<const char*>(cap.card), std::string(31, 'c'));
  EXPECT_EQ(enumerate(VIDIOC_ENUM_FMT, desc).size(), 2u);
  fd = io.open("/dev/video1", O_RDWR);  // metadata: the device captures, this node does not
  EXPECT_TRUE(enumerate(VIDIOC_ENUM_FMT, desc).empty());
}

TEST_F(FakeV4l2IoTest, InjectedFailuresLastAsLongAsAsked) {
  io.failIoctl("/dev/video0", VIDIOC_QUERYCAP, EIO, 2);
  io.failIoctl("/dev/video0", VIDIOC_G_PARM, EBUSY);
  io.failOpen("/dev/video1", EBUSY, 1);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), EIO);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), EIO);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(io.ioctlCount("/dev/video0", VIDIOC_QUERYCAP), 3);
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(error(VIDIOC_G_PARM, &parm), EBUSY);
  EXPECT_EQ(errorIf(io.open("/dev/video1", O_RDWR) == -1), EBUSY);
  EXPECT_GE(io.open("/dev/video1", O_RDWR), 0);
}

TEST_F(FakeV4l2IoTest, VanishedDeviceFailsEveryCallOnItsDescriptors) {
  io.vanishAfterIoctls("/dev/video0", 1);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(error(VIDIOC_QUERYCAP, &cap), ENODEV);
  EXPECT_EQ(errorIf(io.open("/dev/video0", O_RDWR) == -1), ENOENT);
  EXPECT_EQ(io.device("/dev/video0"), nullptr);
  EXPECT_EQ(io.listDirectory("/dev"), (Names{"v4l", "video1"}));
  EXPECT_EQ(io.listDirectory("/dev/v4l/by-id"), Names{});
  EXPECT_EQ(io.close(fd), 0);

  // Plugged in again: a new device behind the same node, the old descriptor stays dead.
  const int stale = io.open("/dev/video1", O_RDWR);
  io.vanish("/dev/video1");
  io.addDevice("/dev/video1", fakeUvcCamera("Replugged"));
  EXPECT_EQ(errorIf(io.ioctl(stale, VIDIOC_QUERYCAP, &cap) == -1), ENODEV);
  EXPECT_EQ(io.ioctl(io.open("/dev/video1", O_RDWR), VIDIOC_QUERYCAP, &cap), 0);
}

TEST_F(FakeV4l2IoTest, ControlQueriesAscendByIdAndEndWithEinval) {
  addControls();
  std::vector<std::uint32_t> ids;
  v4l2_query_ext_ctrl query{};
  for (query.id = V4L2_CTRL_FLAG_NEXT_CTRL; error(VIDIOC_QUERY_EXT_CTRL, &query) == 0;
       query.id |= V4L2_CTRL_FLAG_NEXT_CTRL) {
    ids.push_back(query.id);
  }
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{V4L2_CID_USER_CLASS, V4L2_CID_CONTRAST, V4L2_CID_HUE,
                                             V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CID_GAIN, kPixelRate,
                                             V4L2_CID_EXPOSURE_AUTO, V4L2_CID_PAN_RESET,
                                             V4L2_CID_AUTO_EXPOSURE_BIAS}));
  query.id = kPixelRate;
  ASSERT_EQ(error(VIDIOC_QUERY_EXT_CTRL, &query), 0);
  EXPECT_EQ(query.maximum, 6'000'000'000);
  v4l2_queryctrl old{};  // the old call has no room for 64-bit ranges and reports none
  old.id = kPixelRate;
  ASSERT_EQ(error(VIDIOC_QUERYCTRL, &old), 0);
  EXPECT_EQ(old.maximum, 0);
}

TEST_F(FakeV4l2IoTest, MenuItemsHaveGapsThatAnswerEinval) {
  addControls();
  v4l2_querymenu item{};
  for (std::uint32_t id : {V4L2_CID_EXPOSURE_AUTO, V4L2_CID_AUTO_EXPOSURE_BIAS}) {
    std::vector<int> errors;
    for (item.id = id, item.index = 0; item.index <= 4; ++item.index) {
      errors.push_back(error(VIDIOC_QUERYMENU, &item));
    }
    EXPECT_EQ(errors, (std::vector<int>{EINVAL, 0, EINVAL, 0, EINVAL})) << id;
  }
  item.index = 3;  // of the integer menu, the last one asked
  ASSERT_EQ(error(VIDIOC_QUERYMENU, &item), 0);
  EXPECT_EQ(static_cast<std::int64_t>(item.value), 2000);
  item.id = V4L2_CID_EXPOSURE_AUTO;
  ASSERT_EQ(error(VIDIOC_QUERYMENU, &item), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(item.name), "Aperture Priority Mode");
  item.id = V4L2_CID_CONTRAST;  // not a menu
  EXPECT_EQ(error(VIDIOC_QUERYMENU, &item), EINVAL);
}

TEST_F(FakeV4l2IoTest, SetAndGetControlAnswerLikeTheKernel) {
  addControls();
  // Control, value; S_CTRL's errno; the value it hands back and G_CTRL reads; G_CTRL's errno.
  // Contrast is inactive and still takes values, rounded to its step and range; exposure 2 is a
  // gap; gain is read-only, hue disabled, saturation absent, the pan reset write-only.
  const std::tuple<std::uint32_t, std::int32_t, int, std::int32_t, int> cases[] = {
      {V4L2_CID_CONTRAST, 62, 0, 60, 0},           {V4L2_CID_CONTRAST, 63, 0, 65, 0},
      {V4L2_CID_CONTRAST, 1000, 0, 100, 0},        {V4L2_CID_CONTRAST, -5, 0, 0, 0},
      {V4L2_CID_AUTO_WHITE_BALANCE, 7, 0, 1, 0},   {V4L2_CID_EXPOSURE_AUTO, 1, 0, 1, 0},
      {V4L2_CID_EXPOSURE_AUTO, 2, EINVAL, 1, 0},   {V4L2_CID_EXPOSURE_AUTO, 4, ERANGE, 1, 0},
      {V4L2_CID_EXPOSURE_AUTO, 0, ERANGE, 1, 0},   {V4L2_CID_GAIN, 20, EACCES, 16, 0},
      {V4L2_CID_USER_CLASS, 0, EACCES, 0, EACCES}, {V4L2_CID_HUE, 20, EINVAL, 0, EINVAL},
      {V4L2_CID_SATURATION, 0, EINVAL, 0, EINVAL}, {kPixelRate, 1, EINVAL, 0, EINVAL},
      {V4L2_CID_PAN_RESET, 1, 0, 0, EACCES}};
  for (const auto& [id, value, setError, stored, getError] : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << id << std::dec << " = " << value);
    v4l2_control control{id, value};
    EXPECT_EQ(error(VIDIOC_S_CTRL, &control), setError);
    EXPECT_EQ(control.value, setError == 0 ? stored : value);
    control = {id, -99};
    EXPECT_EQ(error(VIDIOC_G_CTRL, &control), getError);
    EXPECT_EQ(control.value, getError == 0 ? stored : -99);
  }
}

}  // namespace
}  // namespace kovracam
