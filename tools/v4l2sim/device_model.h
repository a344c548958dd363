#pragma once
// One V4L2 capture device as uvcvideo and the kernel's control framework present it: its
// formats, sizes, rates and controls, and the answers to the ioctls that query or change them.
// The unit tests' fake kernel and the preloadable simulator share it; it holds no descriptors,
// buffers or clocks, so both can stand it behind whatever file layer they have.

#include <linux/videodev2.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kovracam::v4l2sim {

struct FrameSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<v4l2_fract> intervals;  // discrete frame intervals, in the driver's order
};

struct Format {
  std::uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::vector<FrameSize> sizes;  // discrete sizes, in the driver's order
  // Instead of `sizes`: a size range; every size on its grid offers `rangeIntervals`.
  std::optional<v4l2_frmsize_stepwise> sizeRange;
  std::vector<v4l2_fract> rangeIntervals;
};

struct Control {
  std::uint32_t id = 0;
  std::string name;
  std::uint32_t type = V4L2_CTRL_TYPE_INTEGER;  // enum v4l2_ctrl_type
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  std::uint64_t step = 1;
  std::int64_t defaultValue = 0;
  std::uint32_t flags = 0;                    // V4L2_CTRL_FLAG_*
  std::map<std::uint32_t, std::string> menu;  // absent indexes are gaps; INTEGER_MENU: numbers
  std::int64_t value = 0;
  int refusal = 0;  // when set, the camera answers every change with this errno
};

struct Device {
  std::string card = "Fake Camera";  // the kernel cuts it to 31 bytes
  std::uint32_t capabilities =
      V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
  std::uint32_t deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  std::vector<Format> formats;
  std::uint32_t pixelFormat = V4L2_PIX_FMT_YUYV;
  std::uint32_t width = 640;
  std::uint32_t height = 480;
  v4l2_fract interval{1, 30};     // the current format, G_FMT and G_PARM
  std::vector<Control> controls;  // any order; enumerated by ascending id
  // Bytes after each line of a packed format, as drivers that align their lines leave them.
  std::uint32_t linePadding = 0;
  std::string driver = "uvcvideo";
  std::string busInfo;
  std::uint32_t version = 0;
};

// Bytes per line and per image of a frame; 0 for a format of unknown layout.
std::uint32_t bytesPerLine(std::uint32_t pixelFormat, std::uint32_t width);
std::uint32_t imageSize(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height);
// The same as the device reports them: its line padding included.
std::uint32_t deviceBytesPerLine(const Device& device, std::uint32_t pixelFormat,
                                 std::uint32_t width);
std::uint32_t deviceImageSize(const Device& device, std::uint32_t pixelFormat, std::uint32_t width,
                              std::uint32_t height);

// The control with exactly this id; nullptr when there is none.
Control* findControl(Device& device, std::uint32_t id);

// Answers one of QUERYCAP, ENUM_FMT, ENUM_FRAMESIZES, ENUM_FRAMEINTERVALS, G/S/TRY_FMT,
// G/S_PARM, QUERYCTRL, QUERY_EXT_CTRL, QUERYMENU, G/S_CTRL, G/S/TRY_EXT_CTRLS, ENUMINPUT and
// G/S_INPUT as the kernel does: 0, or the errno it fails with (ENOTTY for any other request).
int answer(Device& device, unsigned long request, void* arg);

}  // namespace kovracam::v4l2sim
