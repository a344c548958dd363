// The fake kernel must fail exactly where the real one does, or it hides faults in the code that
// runs against it.

#include "capture/fake_v4l2_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kovracam {
namespace {

class FakeV4l2IoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    io.addDevice("/dev/video0", fakeUvcCamera("Desk Camera"));
    io.addDevice("/dev/video1", fakeUvcMetadataNode("Desk Camera"));
    io.addLink("/dev/v4l/by-id/usb-Desk_Camera-video-index0", "../../video0");
    io.addLink("/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0", "../../video0");
  }

  // Opens `node`, failing the test when it cannot.
  int openNode(const std::string& node) {
    const int fd = io.open(node, O_RDWR | O_NONBLOCK);
    EXPECT_GE(fd, 0) << node << ": " << std::strerror(errno);
    return fd;
  }

  // -1 and errno of a failed call, or 0.
  static int errorOf(int result) { return result == 0 ? 0 : errno; }

  FakeV4l2Io io;
};

TEST_F(FakeV4l2IoTest, ListsDirectoriesSortedWithImplicitSubdirectories) {
  const auto dev = io.listDirectory("/dev");
  ASSERT_TRUE(dev.has_value());
  EXPECT_EQ(*dev, (std::vector<std::string>{"v4l", "video0", "video1"}));
  EXPECT_EQ(io.listDirectory("/dev/v4l/"), (std::vector<std::string>{"by-id", "by-path"}));
  EXPECT_EQ(io.listDirectory("/dev/v4l/by-id"),
            (std::vector<std::string>{"usb-Desk_Camera-video-index0"}));

  errno = 0;
  EXPECT_FALSE(io.listDirectory("/dev/snd").has_value());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(io.listDirectory("/dev/video0").has_value());
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(FakeV4l2IoTest, ResolvesLinksLikeRealpath) {
  EXPECT_EQ(io.resolveLink("/dev/v4l/by-id/usb-Desk_Camera-video-index0"), "/dev/video0");
  EXPECT_EQ(io.resolveLink("/dev/video1"), "/dev/video1");
  EXPECT_EQ(io.resolveLink("/dev/v4l/../video1"), "/dev/video1");
  EXPECT_EQ(io.resolveLink("/dev/v4l/by-id"), "/dev/v4l/by-id");

  io.addLink("/dev/camera", "/dev/v4l/by-id/usb-Desk_Camera-video-index0");
  EXPECT_EQ(io.resolveLink("/dev/camera"), "/dev/video0");

  io.addLink("/dev/v4l/by-id/dangling", "../../video7");
  errno = 0;
  EXPECT_FALSE(io.resolveLink("/dev/v4l/by-id/dangling").has_value());
  EXPECT_EQ(errno, ENOENT);

  io.addLink("/dev/loop-a", "loop-b");
  io.addLink("/dev/loop-b", "loop-a");
  EXPECT_FALSE(io.resolveLink("/dev/loop-a").has_value());
  EXPECT_EQ(errno, ELOOP);

  EXPECT_FALSE(io.resolveLink("/dev/video0/inside").has_value());
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(FakeV4l2IoTest, OpenFollowsLinksAndFailsLikeTheKernel) {
  const int fd = openNode("/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0");
  v4l2_capability cap{};
  ASSERT_EQ(io.ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(cap.card), "Desk Camera");

  EXPECT_EQ(io.open("/dev/video9", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(io.open("/dev/v4l", O_RDWR), -1);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(io.close(fd), 0);
}

TEST_F(FakeV4l2IoTest, DescriptorsAreOwnedAndReused) {
  const int first = openNode("/dev/video0");
  const int second = openNode("/dev/video0");
  EXPECT_NE(first, second);
  EXPECT_EQ(io.openFdCount(), 2u);
  EXPECT_EQ(io.close(first), 0);
  EXPECT_EQ(openNode("/dev/video1"), first);  // lowest free number again

  EXPECT_EQ(io.close(first), 0);
  EXPECT_EQ(errorOf(io.close(first)), EBADF);
  v4l2_capability cap{};
  EXPECT_EQ(errorOf(io.ioctl(first, VIDIOC_QUERYCAP, &cap)), EBADF);
  EXPECT_EQ(errorOf(io.close(42)), EBADF);
  EXPECT_EQ(io.close(second), 0);
  EXPECT_EQ(io.openFdCount(), 0u);
}

TEST_F(FakeV4l2IoTest, RefusesUnknownRequestsAndNullArguments) {
  const int fd = openNode("/dev/video0");
  v4l2_requestbuffers buffers{};
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_REQBUFS, &buffers)), ENOTTY);
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_QUERYCAP, nullptr)), EFAULT);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, QuerycapCutsTheCardAndReportsDeviceCaps) {
  FakeDevice camera = fakeUvcCamera(std::string(40, 'c'));
  camera.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_DEVICE_CAPS;
  camera.deviceCaps = V4L2_CAP_VIDEO_CAPTURE;
  io.addDevice("/dev/video2", camera);
  const int fd = openNode("/dev/video2");
  v4l2_capability cap;
  std::memset(&cap, 0xff, sizeof cap);
  ASSERT_EQ(io.ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cap.card)), std::string(31, 'c'));
  EXPECT_STREQ(reinterpret_cast<const char*>(cap.driver), "uvcvideo");
  EXPECT_EQ(cap.capabilities, camera.capabilities);
  EXPECT_EQ(cap.device_caps, V4L2_CAP_VIDEO_CAPTURE);
  EXPECT_EQ(cap.reserved[0], 0u);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, EnumeratesFormatsSizesAndIntervals) {
  const int fd = openNode("/dev/video0");
  v4l2_fmtdesc desc{};
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  desc.index = 1;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FMT, &desc), 0);
  EXPECT_EQ(desc.pixelformat, V4L2_PIX_FMT_MJPEG);
  EXPECT_EQ(desc.flags, V4L2_FMT_FLAG_COMPRESSED);
  EXPECT_STREQ(reinterpret_cast<const char*>(desc.description), "Motion-JPEG");
  desc.index = 2;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FMT, &desc)), EINVAL);
  desc.index = 0;
  desc.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FMT, &desc)), EINVAL);

  v4l2_frmsizeenum size{};
  size.pixel_format = V4L2_PIX_FMT_YUYV;
  size.index = 1;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size), 0);
  EXPECT_EQ(size.type, V4L2_FRMSIZE_TYPE_DISCRETE);
  EXPECT_EQ(size.discrete.width, 320u);
  EXPECT_EQ(size.discrete.height, 240u);
  size.index = 2;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size)), EINVAL);
  size.index = 0;
  size.pixel_format = V4L2_PIX_FMT_NV12;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size)), EINVAL);

  v4l2_frmivalenum interval{};
  interval.pixel_format = V4L2_PIX_FMT_YUYV;
  interval.width = 640;
  interval.height = 480;
  interval.index = 1;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval), 0);
  EXPECT_EQ(interval.type, V4L2_FRMIVAL_TYPE_DISCRETE);
  EXPECT_EQ(interval.discrete.numerator, 1u);
  EXPECT_EQ(interval.discrete.denominator, 15u);
  interval.index = 2;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval)), EINVAL);
  interval.index = 0;
  interval.width = 1280;  // YUYV does not offer 1280x480
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval)), EINVAL);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, ReportsSizeRangesAsStepwiseOrContinuous) {
  FakeDevice camera = fakeUvcCamera("Range Camera");
  camera.formats[0].sizes.clear();
  camera.formats[0].sizeRange = v4l2_frmsize_stepwise{320, 1280, 16, 240, 720, 8};
  camera.formats[0].rangeIntervals = {{1, 25}};
  camera.formats[1].sizes.clear();
  camera.formats[1].sizeRange = v4l2_frmsize_stepwise{64, 4096, 1, 64, 4096, 1};
  io.addDevice("/dev/video3", camera);
  const int fd = openNode("/dev/video3");

  v4l2_frmsizeenum size{};
  size.pixel_format = V4L2_PIX_FMT_YUYV;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size), 0);
  EXPECT_EQ(size.type, V4L2_FRMSIZE_TYPE_STEPWISE);
  EXPECT_EQ(size.stepwise.max_width, 1280u);
  EXPECT_EQ(size.stepwise.step_height, 8u);
  size.index = 1;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size)), EINVAL);
  size = {};
  size.pixel_format = V4L2_PIX_FMT_MJPEG;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size), 0);
  EXPECT_EQ(size.type, V4L2_FRMSIZE_TYPE_CONTINUOUS);

  v4l2_frmivalenum interval{};
  interval.pixel_format = V4L2_PIX_FMT_YUYV;
  interval.width = 336;  // on the 16-pixel grid
  interval.height = 248;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval), 0);
  EXPECT_EQ(interval.discrete.denominator, 25u);
  interval.width = 330;  // off the grid
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval)), EINVAL);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, SetFormatAndRateAnswerWithTheNearestOffered) {
  const int fd = openNode("/dev/video0");
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_G_FMT, &format), 0);
  EXPECT_EQ(format.fmt.pix.pixelformat, V4L2_PIX_FMT_YUYV);
  EXPECT_EQ(format.fmt.pix.width, 640u);
  EXPECT_EQ(format.fmt.pix.bytesperline, 1280u);

  format.fmt.pix.width = 300;
  format.fmt.pix.height = 200;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_S_FMT, &format), 0);
  EXPECT_EQ(format.fmt.pix.width, 320u);
  EXPECT_EQ(format.fmt.pix.height, 240u);
  format.fmt.pix.pixelformat = V4L2_PIX_FMT_NV12;  // not offered: the first format instead
  ASSERT_EQ(io.ioctl(fd, VIDIOC_S_FMT, &format), 0);
  EXPECT_EQ(format.fmt.pix.pixelformat, V4L2_PIX_FMT_YUYV);
  EXPECT_EQ(io.device("/dev/video0")->width, 320u);

  format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
  format.fmt.pix.width = 640;
  format.fmt.pix.height = 480;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_S_FMT, &format), 0);
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  parm.parm.capture.timeperframe = {1, 12};
  ASSERT_EQ(io.ioctl(fd, VIDIOC_S_PARM, &parm), 0);
  EXPECT_EQ(parm.parm.capture.timeperframe.denominator, 15u);
  parm = {};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  ASSERT_EQ(io.ioctl(fd, VIDIOC_G_PARM, &parm), 0);
  EXPECT_EQ(parm.parm.capture.capability, V4L2_CAP_TIMEPERFRAME);
  EXPECT_EQ(parm.parm.capture.timeperframe.numerator, 1u);
  EXPECT_EQ(parm.parm.capture.timeperframe.denominator, 15u);
  parm.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_G_PARM, &parm)), EINVAL);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, CaptureFormatsFollowTheNodesOwnCaps) {
  const int fd = openNode("/dev/video1");  // metadata: the device can capture, the node cannot
  v4l2_fmtdesc desc{};
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_ENUM_FMT, &desc)), EINVAL);
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_G_FMT, &format)), EINVAL);
  io.close(fd);

  // A driver without V4L2_CAP_DEVICE_CAPS: `capabilities` describes the node.
  FakeDevice old = fakeUvcCamera("Old Driver");
  old.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  old.deviceCaps = 0;
  io.addDevice("/dev/video4", old);
  const int oldFd = openNode("/dev/video4");
  EXPECT_EQ(io.ioctl(oldFd, VIDIOC_ENUM_FMT, &desc), 0);
  EXPECT_EQ(io.ioctl(oldFd, VIDIOC_G_FMT, &format), 0);
  io.close(oldFd);
}

TEST_F(FakeV4l2IoTest, InjectedFailuresLastAsLongAsAsked) {
  io.failIoctl("/dev/video0", VIDIOC_QUERYCAP, EIO, 2);
  io.failOpen("/dev/video1", EBUSY, 1);
  const int fd = openNode("/dev/video0");
  v4l2_capability cap{};
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_QUERYCAP, &cap)), EIO);
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_QUERYCAP, &cap)), EIO);
  EXPECT_EQ(io.ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(io.ioctlCount("/dev/video0", VIDIOC_QUERYCAP), 3);

  io.failIoctl("/dev/video0", VIDIOC_G_FMT, EBUSY);
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_G_FMT, &format)), EBUSY);

  EXPECT_EQ(io.open("/dev/video1", O_RDWR), -1);
  EXPECT_EQ(errno, EBUSY);
  const int metadata = openNode("/dev/video1");
  io.close(metadata);
  io.close(fd);
}

TEST_F(FakeV4l2IoTest, VanishedDeviceFailsEveryCallOnItsDescriptors) {
  const int fd = openNode("/dev/video0");
  io.vanish("/dev/video0");
  v4l2_capability cap{};
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_QUERYCAP, &cap)), ENODEV);
  EXPECT_EQ(io.open("/dev/video0", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(io.device("/dev/video0"), nullptr);
  EXPECT_EQ(io.listDirectory("/dev"), (std::vector<std::string>{"v4l", "video1"}));
  EXPECT_EQ(io.listDirectory("/dev/v4l/by-id"), std::vector<std::string>{});
  EXPECT_EQ(io.close(fd), 0);

  // Plugged in again: a new device behind the same node, the old descriptor stays dead.
  const int stale = openNode("/dev/video1");
  io.vanish("/dev/video1");
  io.addDevice("/dev/video1", fakeUvcCamera("Replugged"));
  EXPECT_EQ(errorOf(io.ioctl(stale, VIDIOC_QUERYCAP, &cap)), ENODEV);
  const int fresh = openNode("/dev/video1");
  EXPECT_EQ(io.ioctl(fresh, VIDIOC_QUERYCAP, &cap), 0);
  io.close(fresh);
  io.close(stale);
}

TEST_F(FakeV4l2IoTest, VanishesAfterTheGivenNumberOfAnswers) {
  const int fd = openNode("/dev/video0");
  io.vanishAfterIoctls("/dev/video0", 2);
  v4l2_capability cap{};
  EXPECT_EQ(io.ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(io.ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
  EXPECT_EQ(errorOf(io.ioctl(fd, VIDIOC_QUERYCAP, &cap)), ENODEV);
  EXPECT_EQ(io.device("/dev/video0"), nullptr);
  io.close(fd);
}

}  // namespace
}  // namespace kovracam
