// Formats and controls answered the way uvcvideo and the kernel's control framework answer them.

#include "tools/v4l2sim/device_model.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

namespace kovracam::v4l2sim {
namespace {

// Copies a name into a fixed V4L2 field as the kernel's strscpy does: cut, rest zeroed.
template <typename Char, std::size_t N>
void copyName(Char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

const char* describe(std::uint32_t pixelFormat) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
      return "YUYV 4:2:2";
    case V4L2_PIX_FMT_BGR24:
      return "24-bit BGR 8-8-8";
    case V4L2_PIX_FMT_RGB24:
      return "24-bit RGB 8-8-8";
    case V4L2_PIX_FMT_MJPEG:
      return "Motion-JPEG";
    case V4L2_PIX_FMT_YUV420:
      return "Planar YUV 4:2:0";
    default:
      return "Unknown";
  }
}

bool captures(const Device& device) {
  return ((device.capabilities & V4L2_CAP_DEVICE_CAPS) ? device.deviceCaps : device.capabilities) &
         V4L2_CAP_VIDEO_CAPTURE;
}

const Format* findFormat(const Device& device, std::uint32_t pixelFormat) {
  for (const auto& format : device.formats) {
    if (format.pixelFormat == pixelFormat) return &format;
  }
  return nullptr;
}

// The intervals a size of the format offers; nullptr when the format has no such size.
const std::vector<v4l2_fract>* intervalsOf(const Format* format, std::uint32_t w, std::uint32_t h) {
  if (format && format->sizeRange) {
    const auto& r = *format->sizeRange;
    const bool onGrid = w >= r.min_width && w <= r.max_width && h >= r.min_height &&
                        h <= r.max_height && (w - r.min_width) % std::max(r.step_width, 1u) == 0 &&
                        (h - r.min_height) % std::max(r.step_height, 1u) == 0;
    return onGrid ? &format->rangeIntervals : nullptr;
  }
  for (std::size_t i = 0; format && i < format->sizes.size(); ++i) {
    const FrameSize& size = format->sizes[i];
    if (size.width == w && size.height == h) return &size.intervals;
  }
  return nullptr;
}

std::uint32_t onGrid(std::uint32_t value, std::uint32_t min, std::uint32_t max,
                     std::uint32_t step) {
  step = std::max(step, 1u);
  std::uint32_t nearest = min + (std::clamp(value, min, max) - min + step / 2) / step * step;
  return nearest > max ? nearest - step : nearest;
}

// The format the driver makes of a request: an offered pixel format (else its first) at the
// nearest offered size, as uvcvideo picks it (least area outside the overlap).
void adjust(const Device& device, v4l2_pix_format& pix) {
  const Format* format = findFormat(device, pix.pixelformat);
  if (!format && !device.formats.empty()) format = &device.formats.front();
  std::uint32_t width = device.width;
  std::uint32_t height = device.height;
  std::uint32_t pixelFormat = device.pixelFormat;
  if (format) {
    pixelFormat = format->pixelFormat;
    if (format->sizeRange) {
      const auto& r = *format->sizeRange;
      width = onGrid(pix.width, r.min_width, r.max_width, r.step_width);
      height = onGrid(pix.height, r.min_height, r.max_height, r.step_height);
    } else if (!format->sizes.empty()) {
      std::uint64_t best = UINT64_MAX;
      for (const auto& size : format->sizes) {
        const std::uint64_t overlap =
            std::uint64_t{std::min(size.width, pix.width)} * std::min(size.height, pix.height);
        const std::uint64_t distance = std::uint64_t{size.width} * size.height +
                                       std::uint64_t{pix.width} * pix.height - 2 * overlap;
        if (distance < best) {
          best = distance;
          width = size.width;
          height = size.height;
        }
      }
    }
  }
  pix = {};
  pix.pixelformat = pixelFormat;
  pix.width = width;
  pix.height = height;
  pix.field = V4L2_FIELD_NONE;
  pix.bytesperline = deviceBytesPerLine(device, pixelFormat, width);
  pix.sizeimage = deviceImageSize(device, pixelFormat, width, height);
  pix.colorspace = V4L2_COLORSPACE_SRGB;
  pix.priv = V4L2_PIX_FMT_PRIV_MAGIC;
}

double seconds(const v4l2_fract& f) {
  return f.denominator ? double(f.numerator) / f.denominator : 0;
}

// The control a query names: its exact id, or with NEXT_CTRL the lowest id above it. None of
// ours is compound, so asking for the next compound one alone finds nothing.
Control* lookup(Device& device, std::uint32_t id) {
  const bool nextCtrl = (id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0;
  const bool nextCompound = (id & V4L2_CTRL_FLAG_NEXT_COMPOUND) != 0;
  if (nextCompound && !nextCtrl) return nullptr;
  id &= V4L2_CTRL_ID_MASK;
  Control* found = nullptr;
  for (auto& c : device.controls) {
    if (nextCtrl ? c.id > id && (!found || c.id < found->id) : c.id == id) found = &c;
  }
  return found;
}

// The value the driver stores for `value`, or the errno it refuses it with.
int validate(const Control& c, std::int64_t& value) {
  const auto step = std::max<std::int64_t>(static_cast<std::int64_t>(c.step), 1);
  switch (c.type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_INTEGER64:  // the nearest step inside the range
      value = c.minimum +
              (std::clamp(value, c.minimum, c.maximum) - c.minimum + step / 2) / step * step;
      if (value > c.maximum) value -= step;
      return 0;
    case V4L2_CTRL_TYPE_BOOLEAN:
      value = value != 0;
      return 0;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
      if (value < c.minimum || value > c.maximum) return ERANGE;
      return c.menu.count(static_cast<std::uint32_t>(value)) ? 0 : EINVAL;
    default:
      value = 0;  // buttons and class entries carry no value
      return 0;
  }
}

// QUERY_EXT_CTRL, or the old QUERYCTRL whose fields are 32 bits wide.
template <typename Query>
int queryControl(Device& device, void* arg) {
  Query& query = *static_cast<Query*>(arg);
  const Control* c = lookup(device, query.id);
  if (!c) return EINVAL;
  query = {};
  query.id = c->id;
  query.type = c->type;
  copyName(query.name, c->name);
  query.minimum = static_cast<decltype(query.minimum)>(c->minimum);
  query.maximum = static_cast<decltype(query.maximum)>(c->maximum);
  query.step = static_cast<decltype(query.step)>(c->step);
  query.default_value = static_cast<decltype(query.default_value)>(c->defaultValue);
  query.flags = c->flags;
  if constexpr (requires { query.elem_size; }) {
    query.elem_size = c->type == V4L2_CTRL_TYPE_INTEGER64 ? 8 : 4;
    query.elems = 1;
  }
  return 0;
}

int queryMenu(Device& device, v4l2_querymenu& item) {
  const Control* c = lookup(device, item.id & V4L2_CTRL_ID_MASK);
  if (!c || (c->type != V4L2_CTRL_TYPE_MENU && c->type != V4L2_CTRL_TYPE_INTEGER_MENU) ||
      item.index < c->minimum || item.index > c->maximum || !c->menu.count(item.index)) {
    return EINVAL;
  }
  item.reserved = 0;
  if (c->type == V4L2_CTRL_TYPE_MENU) {
    char name[sizeof item.name];  // the struct is packed: fill an aligned copy
    copyName(name, c->menu.at(item.index));
    std::memcpy(item.name, name, sizeof name);
  } else {
    const std::string& text = c->menu.at(item.index);
    std::int64_t value = 0;  // the packed field cannot be bound to from_chars directly
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) {
      return EINVAL;
    }
    item.value = value;
  }
  return 0;
}

int oneControl(Device& device, unsigned long request, v4l2_control& control) {
  Control* c = lookup(device, control.id & V4L2_CTRL_ID_MASK);
  if (!c || c->type == V4L2_CTRL_TYPE_INTEGER64) return EINVAL;
  const bool set = request == VIDIOC_S_CTRL;
  if (c->flags & (set ? V4L2_CTRL_FLAG_READ_ONLY : V4L2_CTRL_FLAG_WRITE_ONLY)) return EACCES;
  if (c->flags & V4L2_CTRL_FLAG_DISABLED) return EINVAL;
  std::int64_t value = control.value;
  if (const int error = set ? validate(*c, value) : 0) return error;
  if (set && c->refusal) return c->refusal;
  if (set) c->value = value;
  control.value = static_cast<std::int32_t>(c->value);
  return 0;
}

// G/S/TRY_EXT_CTRLS: every control checked before any is changed, as the framework does.
int extControls(Device& device, unsigned long request, v4l2_ext_controls& set) {
  const bool get = request == VIDIOC_G_EXT_CTRLS;
  const bool write = request == VIDIOC_S_EXT_CTRLS;
  const bool defaults = set.which == V4L2_CTRL_WHICH_DEF_VAL;
  const bool anyClass = set.which == V4L2_CTRL_WHICH_CUR_VAL || defaults;
  set.error_idx = set.count;
  if (set.which == V4L2_CTRL_WHICH_REQUEST_VAL || (defaults && !get)) return EINVAL;
  if (!anyClass && std::none_of(device.controls.begin(), device.controls.end(),
                                [&](auto& c) { return V4L2_CTRL_ID2WHICH(c.id) == set.which; })) {
    return EINVAL;
  }
  if (set.count == 0) return 0;
  if (set.count > V4L2_CTRL_MAX_DIMS * 256 || !set.controls) return EINVAL;
  std::vector<std::int64_t> values(set.count);
  for (std::uint32_t i = 0; i < set.count; ++i) {
    v4l2_ext_control& item = set.controls[i];
    Control* c = findControl(device, item.id);
    // Every control is checked before any is touched; only TRY names the one that failed,
    // the others answer count, "no control was touched".
    const auto refuse = [&](int error) {
      set.error_idx = request == VIDIOC_TRY_EXT_CTRLS ? i : set.count;
      return error;
    };
    if (!c || (!anyClass && V4L2_CTRL_ID2WHICH(item.id) != set.which)) return refuse(EINVAL);
    if (c->flags & (get ? V4L2_CTRL_FLAG_WRITE_ONLY : V4L2_CTRL_FLAG_READ_ONLY)) {
      return refuse(EACCES);
    }
    if (!get) {
      values[i] = c->type == V4L2_CTRL_TYPE_INTEGER64 ? item.value64 : item.value;
      if (const int error = validate(*c, values[i])) return refuse(error);
    }
    if (get) values[i] = defaults ? c->defaultValue : c->value;
  }
  for (std::uint32_t i = 0; i < set.count; ++i) {
    v4l2_ext_control& item = set.controls[i];
    Control* c = findControl(device, item.id);
    if (write && c->refusal) {
      set.error_idx = i;
      return c->refusal;
    }
    if (write) c->value = values[i];
    if (c->type == V4L2_CTRL_TYPE_INTEGER64) {
      item.value64 = values[i];
    } else {
      item.value = static_cast<std::int32_t>(values[i]);
    }
  }
  return 0;
}

}  // namespace

std::uint32_t bytesPerLine(std::uint32_t pixelFormat, std::uint32_t width) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
      return width * 2;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
      return width * 3;
    case V4L2_PIX_FMT_YUV420:
      return width;
    default:
      return 0;
  }
}

std::uint32_t imageSize(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUV420:
      return width * height * 3 / 2;
    case V4L2_PIX_FMT_MJPEG:  // the most a compressed frame may take
      return width * height * 2;
    default:
      return bytesPerLine(pixelFormat, width) * height;
  }
}

// Only the packed formats have lines of their own to pad.
std::uint32_t deviceBytesPerLine(const Device& device, std::uint32_t pixelFormat,
                                 std::uint32_t width) {
  const bool packed = pixelFormat == V4L2_PIX_FMT_YUYV || pixelFormat == V4L2_PIX_FMT_BGR24 ||
                      pixelFormat == V4L2_PIX_FMT_RGB24;
  return bytesPerLine(pixelFormat, width) + (packed ? device.linePadding : 0);
}

std::uint32_t deviceImageSize(const Device& device, std::uint32_t pixelFormat, std::uint32_t width,
                              std::uint32_t height) {
  const std::uint32_t padding =
      deviceBytesPerLine(device, pixelFormat, width) - bytesPerLine(pixelFormat, width);
  return imageSize(pixelFormat, width, height) + padding * height;
}

Control* findControl(Device& device, std::uint32_t id) {
  return lookup(device, id & V4L2_CTRL_ID_MASK);
}

int answer(Device& device, unsigned long request, void* arg) {
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto& cap = *static_cast<v4l2_capability*>(arg);
      cap = {};
      copyName(cap.driver, device.driver);
      copyName(cap.card, device.card);
      copyName(cap.bus_info, device.busInfo);
      cap.version = device.version;
      cap.capabilities = device.capabilities;
      cap.device_caps = device.deviceCaps;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto& desc = *static_cast<v4l2_fmtdesc*>(arg);
      if (!captures(device) || desc.type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
          desc.index >= device.formats.size()) {
        return EINVAL;
      }
      desc = {desc.index, desc.type, 0, {}, device.formats[desc.index].pixelFormat, 0, {}};
      if (desc.pixelformat == V4L2_PIX_FMT_MJPEG) desc.flags = V4L2_FMT_FLAG_COMPRESSED;
      copyName(desc.description, describe(desc.pixelformat));
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto& size = *static_cast<v4l2_frmsizeenum*>(arg);
      const Format* format = findFormat(device, size.pixel_format);
      if (format && format->sizeRange && size.index == 0) {
        std::memset(size.reserved, 0, sizeof size.reserved);
        const auto& r = *format->sizeRange;
        size.type = r.step_width == 1 && r.step_height == 1 ? V4L2_FRMSIZE_TYPE_CONTINUOUS
                                                            : V4L2_FRMSIZE_TYPE_STEPWISE;
        size.stepwise = r;
        return 0;
      }
      std::memset(size.reserved, 0, sizeof size.reserved);
      if (!format || format->sizeRange || size.index >= format->sizes.size()) return EINVAL;
      size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
      size.discrete = {format->sizes[size.index].width, format->sizes[size.index].height};
      return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
      auto& ival = *static_cast<v4l2_frmivalenum*>(arg);
      const auto* intervals =
          intervalsOf(findFormat(device, ival.pixel_format), ival.width, ival.height);
      if (!intervals || ival.index >= intervals->size()) return EINVAL;
      std::memset(ival.reserved, 0, sizeof ival.reserved);
      ival.type = V4L2_FRMIVAL_TYPE_DISCRETE;
      ival.discrete = (*intervals)[ival.index];
      return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
      auto& format = *static_cast<v4l2_format*>(arg);
      if (!captures(device) || format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
      auto& pix = format.fmt.pix;
      if (request == VIDIOC_G_FMT) {
        pix = {};
        std::tie(pix.pixelformat, pix.width, pix.height) =
            std::tie(device.pixelFormat, device.width, device.height);
      }
      adjust(device, pix);
      if (request == VIDIOC_G_FMT) {  // the current format stands even when no longer offered
        std::tie(pix.pixelformat, pix.width, pix.height) =
            std::tie(device.pixelFormat, device.width, device.height);
      }
      if (request == VIDIOC_S_FMT) {
        std::tie(device.pixelFormat, device.width, device.height) =
            std::tie(pix.pixelformat, pix.width, pix.height);
        const auto* intervals =
            intervalsOf(findFormat(device, pix.pixelformat), pix.width, pix.height);
        if (intervals && !intervals->empty()) device.interval = intervals->front();
      }
      return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto& parm = *static_cast<v4l2_streamparm*>(arg);
      if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
      auto& capture = parm.parm.capture;
      if (request == VIDIOC_S_PARM) {  // the offered interval nearest the one asked
        const auto* intervals =
            intervalsOf(findFormat(device, device.pixelFormat), device.width, device.height);
        if (intervals && !intervals->empty()) {
          device.interval = *std::min_element(
              intervals->begin(), intervals->end(), [&](const auto& a, const auto& b) {
                return std::abs(seconds(a) - seconds(capture.timeperframe)) <
                       std::abs(seconds(b) - seconds(capture.timeperframe));
              });
        } else if (capture.timeperframe.numerator && capture.timeperframe.denominator) {
          device.interval = capture.timeperframe;
        }
      }
      capture = {};
      capture.capability = V4L2_CAP_TIMEPERFRAME;
      capture.timeperframe = device.interval;
      // The buffers videobuf2's read() emulation takes.
      if (device.deviceCaps & V4L2_CAP_READWRITE) capture.readbuffers = 3;
      return 0;
    }
    case VIDIOC_QUERY_EXT_CTRL:
      return queryControl<v4l2_query_ext_ctrl>(device, arg);
    case VIDIOC_QUERYCTRL:
      return queryControl<v4l2_queryctrl>(device, arg);
    case VIDIOC_QUERYMENU:
      return queryMenu(device, *static_cast<v4l2_querymenu*>(arg));
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
      return oneControl(device, request, *static_cast<v4l2_control*>(arg));
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
      return extControls(device, request, *static_cast<v4l2_ext_controls*>(arg));
    case VIDIOC_ENUMINPUT: {
      auto& input = *static_cast<v4l2_input*>(arg);
      if (input.index != 0) return EINVAL;
      input = {};
      copyName(input.name, "Camera 1");
      input.type = V4L2_INPUT_TYPE_CAMERA;
      return 0;
    }
    case VIDIOC_G_INPUT:
      *static_cast<int*>(arg) = 0;
      return 0;
    case VIDIOC_S_INPUT:
      return *static_cast<int*>(arg) == 0 ? 0 : EINVAL;
    default:
      return ENOTTY;
  }
}

}  // namespace kovracam::v4l2sim
