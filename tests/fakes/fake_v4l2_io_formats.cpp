// The fake kernel's capability and format ioctls, answered the way uvcvideo answers them.

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tests/fakes/fake_v4l2_io.h"
#include "tests/fakes/fake_v4l2_io_util.h"

namespace kovracam {
namespace {

const FakeFormat* findFormat(const FakeDevice& device, std::uint32_t pixelFormat) {
  for (const auto& format : device.formats) {
    if (format.pixelFormat == pixelFormat) return &format;
  }
  return nullptr;
}

bool inRange(const v4l2_frmsize_stepwise& range, std::uint32_t width, std::uint32_t height) {
  const std::uint32_t stepW = std::max<std::uint32_t>(range.step_width, 1);
  const std::uint32_t stepH = std::max<std::uint32_t>(range.step_height, 1);
  return width >= range.min_width && width <= range.max_width && height >= range.min_height &&
         height <= range.max_height && (width - range.min_width) % stepW == 0 &&
         (height - range.min_height) % stepH == 0;
}

// The intervals a size of `format` offers; nullptr when the format has no such size.
const std::vector<v4l2_fract>* intervalsOf(const FakeFormat& format, std::uint32_t width,
                                           std::uint32_t height) {
  if (format.sizeRange) {
    return inRange(*format.sizeRange, width, height) ? &format.rangeIntervals : nullptr;
  }
  for (const auto& size : format.sizes) {
    if (size.width == width && size.height == height) return &size.intervals;
  }
  return nullptr;
}

bool isCompressed(std::uint32_t pixelFormat) {
  return pixelFormat == V4L2_PIX_FMT_MJPEG || pixelFormat == V4L2_PIX_FMT_JPEG ||
         pixelFormat == V4L2_PIX_FMT_H264;
}

void fillPixFormat(const FakeDevice& device, v4l2_pix_format& pix) {
  pix = {};
  pix.width = device.width;
  pix.height = device.height;
  pix.pixelformat = device.pixelFormat;
  pix.field = V4L2_FIELD_NONE;
  pix.colorspace = V4L2_COLORSPACE_SRGB;
  const std::uint32_t area = device.width * device.height;
  switch (device.pixelFormat) {
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
      pix.bytesperline = device.width * 3;
      pix.sizeimage = area * 3;
      break;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_GREY:
    case V4L2_PIX_FMT_NV12:
      pix.bytesperline = device.width;
      pix.sizeimage = device.pixelFormat == V4L2_PIX_FMT_GREY ? area : area * 3 / 2;
      break;
    default:
      // Packed 4:2:2, and the worst case a compressed frame may take.
      pix.bytesperline = isCompressed(device.pixelFormat) ? 0 : device.width * 2;
      pix.sizeimage = area * 2;
      break;
  }
}

// uvcvideo's choice for a size it does not offer: the one whose area differs least.
void nearestSize(const FakeFormat& format, std::uint32_t& width, std::uint32_t& height) {
  if (format.sizeRange) {
    const auto& range = *format.sizeRange;
    const std::uint32_t stepW = std::max<std::uint32_t>(range.step_width, 1);
    const std::uint32_t stepH = std::max<std::uint32_t>(range.step_height, 1);
    width = std::clamp(width, range.min_width, range.max_width);
    height = std::clamp(height, range.min_height, range.max_height);
    width -= (width - range.min_width) % stepW;
    height -= (height - range.min_height) % stepH;
    return;
  }
  std::uint64_t best = UINT64_MAX;
  std::uint32_t bestW = width, bestH = height;
  for (const auto& size : format.sizes) {
    const std::uint64_t overlap =
        std::uint64_t{std::min(width, size.width)} * std::min(height, size.height);
    const std::uint64_t distance =
        std::uint64_t{width} * height + std::uint64_t{size.width} * size.height - 2 * overlap;
    if (distance < best) {
      best = distance;
      bestW = size.width;
      bestH = size.height;
    }
  }
  width = bestW;
  height = bestH;
}

// What the node can do, V4L2_CAP_DEVICE_CAPS semantics.
std::uint32_t nodeCaps(const FakeDevice& device) {
  return (device.capabilities & V4L2_CAP_DEVICE_CAPS) ? device.deviceCaps : device.capabilities;
}

double seconds(const v4l2_fract& f) { return static_cast<double>(f.numerator) / f.denominator; }

}  // namespace

FakeDevice fakeUvcCamera(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.formats = {
      {V4L2_PIX_FMT_YUYV,
       "YUYV 4:2:2",
       {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}},
       std::nullopt,
       {}},
      {V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {{1280, 720, {{1, 30}}}}, std::nullopt, {}},
  };
  return device;
}

FakeDevice fakeUvcMetadataNode(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
  device.pixelFormat = V4L2_META_FMT_UVC;
  device.width = 0;
  device.height = 0;
  return device;
}

int FakeV4l2Io::queryCapability(const FakeDevice& device, v4l2_capability& cap) {
  cap = {};
  copyFakeName(cap.driver, device.driver);
  copyFakeName(cap.card, device.card);
  copyFakeName(cap.bus_info, device.busInfo);
  cap.version = 0x060100;
  cap.capabilities = device.capabilities;
  cap.device_caps = device.deviceCaps;
  return 0;
}

int FakeV4l2Io::enumFormat(const FakeDevice& device, v4l2_fmtdesc& desc) {
  if (desc.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !(nodeCaps(device) & V4L2_CAP_VIDEO_CAPTURE) ||
      desc.index >= device.formats.size()) {
    return EINVAL;
  }
  const FakeFormat& format = device.formats[desc.index];
  const std::uint32_t index = desc.index;
  desc = {};
  desc.index = index;
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  desc.flags = isCompressed(format.pixelFormat) ? V4L2_FMT_FLAG_COMPRESSED : 0;
  copyFakeName(desc.description, format.description);
  desc.pixelformat = format.pixelFormat;
  return 0;
}

int FakeV4l2Io::enumFrameSize(const FakeDevice& device, v4l2_frmsizeenum& size) {
  const FakeFormat* format = findFormat(device, size.pixel_format);
  if (!format) return EINVAL;
  if (format->sizeRange) {
    if (size.index != 0) return EINVAL;
    const auto& range = *format->sizeRange;
    size.type = range.step_width == 1 && range.step_height == 1 ? V4L2_FRMSIZE_TYPE_CONTINUOUS
                                                                : V4L2_FRMSIZE_TYPE_STEPWISE;
    size.stepwise = range;
    return 0;
  }
  if (size.index >= format->sizes.size()) return EINVAL;
  size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
  size.discrete = {format->sizes[size.index].width, format->sizes[size.index].height};
  return 0;
}

int FakeV4l2Io::enumFrameInterval(const FakeDevice& device, v4l2_frmivalenum& interval) {
  const FakeFormat* format = findFormat(device, interval.pixel_format);
  const auto* intervals = format ? intervalsOf(*format, interval.width, interval.height) : nullptr;
  if (!intervals || interval.index >= intervals->size()) return EINVAL;
  interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
  interval.discrete = (*intervals)[interval.index];
  return 0;
}

int FakeV4l2Io::getFormat(const FakeDevice& device, v4l2_format& format) {
  if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || !(nodeCaps(device) & V4L2_CAP_VIDEO_CAPTURE)) {
    return EINVAL;
  }
  fillPixFormat(device, format.fmt.pix);
  return 0;
}

int FakeV4l2Io::setFormat(FakeDevice& device, v4l2_format& format) {
  if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || device.formats.empty()) return EINVAL;
  // Drivers do not refuse a format they lack: they answer with the nearest one they have.
  const FakeFormat* chosen = findFormat(device, format.fmt.pix.pixelformat);
  if (!chosen) chosen = &device.formats.front();
  std::uint32_t width = format.fmt.pix.width;
  std::uint32_t height = format.fmt.pix.height;
  nearestSize(*chosen, width, height);
  device.pixelFormat = chosen->pixelFormat;
  device.width = width;
  device.height = height;
  const auto* intervals = intervalsOf(*chosen, width, height);
  if (intervals && !intervals->empty()) {
    const bool kept = std::any_of(intervals->begin(), intervals->end(), [&](const v4l2_fract& f) {
      return f.numerator == device.interval.numerator &&
             f.denominator == device.interval.denominator;
    });
    if (!kept) device.interval = intervals->front();
  }
  return getFormat(device, format);
}

int FakeV4l2Io::getParm(const FakeDevice& device, v4l2_streamparm& parm) {
  if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
  parm.parm = {};
  parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
  parm.parm.capture.timeperframe = device.interval;
  return 0;
}

int FakeV4l2Io::setParm(FakeDevice& device, v4l2_streamparm& parm) {
  if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
  const v4l2_fract wanted = parm.parm.capture.timeperframe;
  const FakeFormat* format = findFormat(device, device.pixelFormat);
  const auto* intervals = format ? intervalsOf(*format, device.width, device.height) : nullptr;
  if (intervals && !intervals->empty()) {
    // A zero interval asks for the default; anything else gets the nearest offered one.
    v4l2_fract best = intervals->front();
    if (wanted.numerator != 0 && wanted.denominator != 0) {
      for (const auto& f : *intervals) {
        if (std::abs(seconds(f) - seconds(wanted)) < std::abs(seconds(best) - seconds(wanted))) {
          best = f;
        }
      }
    }
    device.interval = best;
  } else if (wanted.numerator != 0 && wanted.denominator != 0) {
    device.interval = wanted;
  }
  return getParm(device, parm);
}

}  // namespace kovracam
