#pragma once
// An in-memory kernel behind the V4l2Io seam, for tests: device nodes under /dev, the udev links
// in /dev/v4l, formats, controls, and failures a test can inject. Every call fails the way the
// kernel fails it: -1 with errno set (ENOENT, EBADF, ENOTTY, EINVAL, ERANGE, EACCES, ENODEV...).
// Not thread-safe: one test drives it.

#include <linux/videodev2.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "capture/v4l2/v4l2_io.h"

namespace kovracam {

struct FakeFrameSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<v4l2_fract> intervals;  // discrete frame intervals, in the driver's order
};

struct FakeFormat {
  std::uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::string description;
  std::vector<FakeFrameSize> sizes;  // discrete sizes, in the driver's order
  // Set instead of `sizes` for a driver that reports a size range (stepwise, or continuous when
  // both steps are 1); every size in the range offers `rangeIntervals`.
  std::optional<v4l2_frmsize_stepwise> sizeRange;
  std::vector<v4l2_fract> rangeIntervals;
};

struct FakeControl {
  std::uint32_t id = 0;
  std::string name;
  std::uint32_t type = V4L2_CTRL_TYPE_INTEGER;  // enum v4l2_ctrl_type
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  std::uint64_t step = 1;
  std::int64_t defaultValue = 0;
  std::uint32_t flags = 0;                           // V4L2_CTRL_FLAG_*
  std::map<std::uint32_t, std::string> menuNames;    // MENU: absent indexes are gaps
  std::map<std::uint32_t, std::int64_t> menuValues;  // INTEGER_MENU: absent indexes are gaps
  std::int64_t value = 0;
};

// Controls as drivers register them (ranges, steps and implied flags filled in).
FakeControl fakeIntegerControl(std::uint32_t id, const std::string& name, std::int64_t minimum,
                               std::int64_t maximum, std::uint64_t step, std::int64_t defaultValue);
FakeControl fakeBooleanControl(std::uint32_t id, const std::string& name, bool defaultValue);
// Minimum and maximum are the lowest and highest index given.
FakeControl fakeMenuControl(std::uint32_t id, const std::string& name,
                            std::map<std::uint32_t, std::string> items, std::uint32_t defaultIndex);
FakeControl fakeIntegerMenuControl(std::uint32_t id, const std::string& name,
                                   std::map<std::uint32_t, std::int64_t> items,
                                   std::uint32_t defaultIndex);
FakeControl fakeButtonControl(std::uint32_t id, const std::string& name);
// The "User Controls" / "Camera Controls" heading entries drivers list before each class.
FakeControl fakeClassControl(std::uint32_t classId, const std::string& name);

struct FakeDevice {
  std::string driver = "uvcvideo";
  std::string card = "Fake Camera";  // the kernel cuts it to 31 bytes
  std::string busInfo = "usb-0000:00:14.0-1";
  std::uint32_t capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                               V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
  std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
  std::vector<FakeFormat> formats;
  // The current format (G_FMT / G_PARM).
  std::uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::uint32_t width = 640;
  std::uint32_t height = 480;
  v4l2_fract interval{1, 30};
  std::vector<FakeControl> controls;  // any order; enumerated by ascending id
};

// A UVC camera's video node: YUYV 640x480 (30, 15 fps) and 320x240 (30 fps), MJPEG 1280x720
// (30 fps); current YUYV 640x480 at 30 fps; no controls.
FakeDevice fakeUvcCamera(const std::string& card);
// The metadata node a UVC camera registers next to its video node.
FakeDevice fakeUvcMetadataNode(const std::string& card);

class FakeV4l2Io : public V4l2Io {
 public:
  static constexpr int kAlways = -1;

  FakeV4l2Io();
  ~FakeV4l2Io() override;
  FakeV4l2Io(const FakeV4l2Io&) = delete;
  FakeV4l2Io& operator=(const FakeV4l2Io&) = delete;

  int open(const std::string& path, int flags) override;
  int close(int fd) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  std::optional<std::vector<std::string>> listDirectory(const std::string& dir) override;
  std::optional<std::string> resolveLink(const std::string& path) override;

  // Adds a character device at `node`, creating its directories. A device already there is
  // unplugged first (see vanish).
  void addDevice(const std::string& node, FakeDevice device);
  // A symbolic link; a relative target is taken from the link's directory, as the kernel does.
  void addLink(const std::string& link, const std::string& target);
  void addDirectory(const std::string& dir);

  // The next `times` calls of `request` on the node's descriptors fail with `error`.
  void failIoctl(const std::string& node, unsigned long request, int error, int times = kAlways);
  // The next `times` opens of the node fail with `error` (EBUSY, EACCES...).
  void failOpen(const std::string& node, int error, int times = kAlways);
  // Unplugs the device: the node and the links udev made for it disappear, later opens fail with
  // ENOENT and every call on descriptors still open fails with ENODEV (close still succeeds).
  void vanish(const std::string& node);
  // The device answers `count` more ioctls, then vanishes.
  void vanishAfterIoctls(const std::string& node, int count);

  // The present device at `node` (to inspect or change it); nullptr when there is none.
  FakeDevice* device(const std::string& node);
  std::size_t openFdCount() const { return fds_.size(); }
  // How many times `request` reached the node (answered or failed), over its whole life.
  int ioctlCount(const std::string& node, unsigned long request) const;

 private:
  struct Failure {
    int error = 0;
    int remaining = 0;  // kAlways, or how many more calls fail
  };
  struct Node {
    std::string path;
    FakeDevice device;
    bool gone = false;
    Failure openFailure;
    std::map<unsigned long, Failure> ioctlFailures;
    int ioctlsBeforeVanish = kAlways;
  };

  static bool takeFailure(Failure& failure, int& error);
  std::shared_ptr<Node> presentNode(const std::string& path) const;
  bool isDirectory(const std::string& path) const;
  void removeNode(const std::string& path);
  static int dispatch(FakeDevice& device, unsigned long request, void* arg);

  // Format ioctls (fake_v4l2_io_formats.cpp) and control ioctls (fake_v4l2_io_controls.cpp); each
  // returns 0 or the errno value the kernel would report.
  static int queryCapability(const FakeDevice& device, v4l2_capability& cap);
  static int enumFormat(const FakeDevice& device, v4l2_fmtdesc& desc);
  static int enumFrameSize(const FakeDevice& device, v4l2_frmsizeenum& size);
  static int enumFrameInterval(const FakeDevice& device, v4l2_frmivalenum& interval);
  static int getFormat(const FakeDevice& device, v4l2_format& format);
  static int setFormat(FakeDevice& device, v4l2_format& format);
  static int getParm(const FakeDevice& device, v4l2_streamparm& parm);
  static int setParm(FakeDevice& device, v4l2_streamparm& parm);
  static int queryControl(const FakeDevice& device, v4l2_queryctrl& query);
  static int queryExtControl(const FakeDevice& device, v4l2_query_ext_ctrl& query);
  static int queryMenu(const FakeDevice& device, v4l2_querymenu& item);
  static int getControl(const FakeDevice& device, v4l2_control& control);
  static int setControl(FakeDevice& device, v4l2_control& control);

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::map<std::string, std::string> links_;  // link path -> target as written
  std::set<std::string> directories_;
  std::map<int, std::shared_ptr<Node>> fds_;
  std::map<std::string, std::map<unsigned long, int>> countsByPath_;
};

}  // namespace kovracam
