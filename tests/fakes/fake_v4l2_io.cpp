// The fake kernel: its file system, descriptors, and the format and control ioctls answered the
// way uvcvideo and the kernel's control framework answer them.

#include "tests/fakes/fake_v4l2_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <tuple>

namespace kovracam {
namespace {

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// "/dev/v4l/by-id/../../video0" -> "/dev/video0". Lexical: no directory in the fake is a link.
std::string normalise(const std::string& path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0, end = 0; start < path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == ".." && !parts.empty()) parts.pop_back();
    if (part != ".." && part != "." && !part.empty()) parts.push_back(part);
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

// Copies a name into a fixed V4L2 field as the kernel's strscpy does: cut, rest zeroed.
template <typename Char, std::size_t N>
void copyName(Char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

const FakeFormat* findFormat(const FakeDevice& device, std::uint32_t pixelFormat) {
  for (const auto& format : device.formats) {
    if (format.pixelFormat == pixelFormat) return &format;
  }
  return nullptr;
}

// The intervals a size of the format offers; nullptr when the format has no such size.
const std::vector<v4l2_fract>* intervalsOf(const FakeFormat* format, std::uint32_t w,
                                           std::uint32_t h) {
  if (format && format->sizeRange) {
    const auto& r = *format->sizeRange;
    const bool onGrid = w >= r.min_width && w <= r.max_width && h >= r.min_height &&
                        h <= r.max_height && (w - r.min_width) % std::max(r.step_width, 1u) == 0 &&
                        (h - r.min_height) % std::max(r.step_height, 1u) == 0;
    return onGrid ? &format->rangeIntervals : nullptr;
  }
  for (std::size_t i = 0; format && i < format->sizes.size(); ++i) {
    const FakeFrameSize& size = format->sizes[i];
    if (size.width == w && size.height == h) return &size.intervals;
  }
  return nullptr;
}

// The control a query names: its exact id, or with NEXT_CTRL the lowest id above it.
FakeControl* lookup(FakeDevice& device, std::uint32_t id) {
  const bool next = (id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0;
  id &= V4L2_CTRL_ID_MASK;
  FakeControl* found = nullptr;
  for (auto& c : device.controls) {
    if (next ? c.id > id && (!found || c.id < found->id) : c.id == id) found = &c;
  }
  return found;
}

// The value the driver stores for `value`, or the errno it refuses it with.
int validate(const FakeControl& c, std::int64_t& value) {
  const auto step = std::max<std::int64_t>(static_cast<std::int64_t>(c.step), 1);
  switch (c.type) {
    case V4L2_CTRL_TYPE_INTEGER:  // the nearest step inside the range
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
int queryControl(FakeDevice& device, void* arg) {
  Query& query = *static_cast<Query*>(arg);
  const FakeControl* c = lookup(device, query.id);
  if (!c) return EINVAL;
  query = {};
  query.id = c->id;
  query.type = c->type;
  copyName(query.name, c->name);
  query.minimum = c->minimum;
  query.maximum = c->maximum;
  query.step = c->step;
  query.default_value = c->defaultValue;
  query.flags = c->flags;
  return 0;
}

// 0, or the errno the kernel would answer `request` with.
int answer(FakeDevice& device, unsigned long request, void* arg) {
  const bool captures =
      ((device.capabilities & V4L2_CAP_DEVICE_CAPS) ? device.deviceCaps : device.capabilities) &
      V4L2_CAP_VIDEO_CAPTURE;
  switch (request) {
    case VIDIOC_QUERYCAP: {
      auto& cap = *static_cast<v4l2_capability*>(arg);
      cap = {};
      copyName(cap.card, device.card);
      cap.capabilities = device.capabilities;
      cap.device_caps = device.deviceCaps;
      return 0;
    }
    case VIDIOC_ENUM_FMT: {
      auto& desc = *static_cast<v4l2_fmtdesc*>(arg);
      if (!captures || desc.index >= device.formats.size()) return EINVAL;
      desc.pixelformat = device.formats[desc.index].pixelFormat;
      return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
      auto& size = *static_cast<v4l2_frmsizeenum*>(arg);
      const FakeFormat* format = findFormat(device, size.pixel_format);
      if (format && format->sizeRange && size.index == 0) {
        const auto& r = *format->sizeRange;
        size.type = r.step_width == 1 && r.step_height == 1 ? V4L2_FRMSIZE_TYPE_CONTINUOUS
                                                            : V4L2_FRMSIZE_TYPE_STEPWISE;
        size.stepwise = r;
        return 0;
      }
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
      ival.type = V4L2_FRMIVAL_TYPE_DISCRETE;
      ival.discrete = (*intervals)[ival.index];
      return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
      // Only offered formats and rates are ever set here, and a driver takes those as asked.
      auto& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
      if (!captures) return EINVAL;
      if (request == VIDIOC_S_FMT) {
        std::tie(device.pixelFormat, device.width, device.height) =
            std::tie(pix.pixelformat, pix.width, pix.height);
        const auto* intervals =
            intervalsOf(findFormat(device, pix.pixelformat), pix.width, pix.height);
        if (intervals && !intervals->empty()) device.interval = intervals->front();
      }
      pix = {};
      std::tie(pix.pixelformat, pix.width, pix.height) =
          std::tie(device.pixelFormat, device.width, device.height);
      return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
      auto& capture = static_cast<v4l2_streamparm*>(arg)->parm.capture;
      if (request == VIDIOC_S_PARM) device.interval = capture.timeperframe;
      capture = {};
      capture.capability = V4L2_CAP_TIMEPERFRAME;
      capture.timeperframe = device.interval;
      return 0;
    }
    case VIDIOC_QUERY_EXT_CTRL:
      return queryControl<v4l2_query_ext_ctrl>(device, arg);
    case VIDIOC_QUERYCTRL:
      return queryControl<v4l2_queryctrl>(device, arg);
    case VIDIOC_QUERYMENU: {
      auto& item = *static_cast<v4l2_querymenu*>(arg);
      const FakeControl* c = lookup(device, item.id & V4L2_CTRL_ID_MASK);
      if (!c || !c->menu.count(item.index)) return EINVAL;
      if (c->type == V4L2_CTRL_TYPE_MENU) {
        char name[sizeof item.name];  // the struct is packed: fill an aligned copy
        copyName(name, c->menu.at(item.index));
        std::memcpy(item.name, name, sizeof name);
      } else {
        item.value = std::stoll(c->menu.at(item.index));
      }
      return 0;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
      auto& control = *static_cast<v4l2_control*>(arg);
      FakeControl* c = lookup(device, control.id & V4L2_CTRL_ID_MASK);
      if (!c) return EINVAL;
      const bool set = request == VIDIOC_S_CTRL;
      if (c->flags & (set ? V4L2_CTRL_FLAG_READ_ONLY : V4L2_CTRL_FLAG_WRITE_ONLY)) return EACCES;
      if (c->flags & V4L2_CTRL_FLAG_DISABLED) return EINVAL;
      std::int64_t value = control.value;
      if (const int error = set ? validate(*c, value) : 0) return error;
      if (set) c->value = value;
      control.value = static_cast<std::int32_t>(c->value);
      return 0;
    }
    default:
      return ENOTTY;
  }
}

}  // namespace

FakeDevice fakeUvcCamera(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.formats = {
      {V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}, {}, {}},
      {V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}}}}, {}, {}},
  };
  return device;
}

FakeDevice fakeUvcMetadataNode(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  device.pixelFormat = V4L2_META_FMT_UVC;
  return device;
}

FakeV4l2Io::FakeV4l2Io() = default;
FakeV4l2Io::~FakeV4l2Io() = default;

void FakeV4l2Io::addDevice(const std::string& node, FakeDevice device) {
  vanish(node);
  for (auto& control : device.controls) control.value = control.defaultValue;
  auto entry = std::make_shared<Node>();
  entry->path = node;
  entry->device = std::move(device);
  nodes_[node] = std::move(entry);
}

void FakeV4l2Io::addLink(const std::string& link, const std::string& target) {
  links_[link] = target;
}

void FakeV4l2Io::failIoctl(const std::string& node, unsigned long request, int error, int times) {
  if (nodes_.count(node)) nodes_[node]->ioctlFailures[request] = {error, times};
}

void FakeV4l2Io::failOpen(const std::string& node, int error) {
  if (nodes_.count(node)) nodes_[node]->openError = error;
}

void FakeV4l2Io::vanish(const std::string& node) {
  if (!nodes_.count(node)) return;
  // udev removes the device's links along with the node.
  std::vector<std::string> stale;
  for (const auto& link : links_) {
    if (resolveLink(link.first) == node) stale.push_back(link.first);
  }
  for (const auto& link : stale) links_.erase(link);
  nodes_[node]->gone = true;
  nodes_.erase(node);
}

void FakeV4l2Io::vanishAfterIoctls(const std::string& node, int count) {
  if (nodes_.count(node)) nodes_[node]->ioctlsBeforeVanish = count;
}

FakeDevice* FakeV4l2Io::device(const std::string& node) {
  return nodes_.count(node) ? &nodes_[node]->device : nullptr;
}

int FakeV4l2Io::ioctlCount(const std::string& node, unsigned long request) const {
  const auto counts = counts_.find(node);
  return counts == counts_.end() || !counts->second.count(request) ? 0 : counts->second.at(request);
}

std::optional<std::string> FakeV4l2Io::resolveLink(const std::string& path) {
  std::string current = normalise(path);
  for (int hops = 0; links_.count(current); ++hops) {
    if (hops == 40) {  // the kernel's limit
      errno = ELOOP;
      return std::nullopt;
    }
    const std::string& target = links_.at(current);
    current = normalise(target.starts_with('/') ? target : parentOf(current) + "/" + target);
  }
  if (!nodes_.count(current) && !listDirectory(current)) {
    errno = ENOENT;
    return std::nullopt;
  }
  return current;
}

std::optional<std::vector<std::string>> FakeV4l2Io::listDirectory(const std::string& dir) {
  // A directory is /dev, or any path that holds a node or a link.
  const std::string prefix = normalise(dir + "/.") + "/";
  std::set<std::string> names;
  const auto collect = [&](const auto& paths) {
    for (const auto& [path, entry] : paths) {
      const std::size_t end = path.find('/', prefix.size());
      if (path.starts_with(prefix)) names.insert(path.substr(prefix.size(), end - prefix.size()));
    }
  };
  collect(nodes_);
  collect(links_);
  if (names.empty() && prefix != "/dev/") {
    errno = nodes_.count(normalise(dir)) ? ENOTDIR : ENOENT;
    return std::nullopt;
  }
  return std::vector<std::string>(names.begin(), names.end());
}

int FakeV4l2Io::open(const std::string& path, int /*flags*/) {
  const auto resolved = resolveLink(path);
  if (!resolved) return -1;
  const int error = !nodes_.count(*resolved) ? EISDIR : nodes_[*resolved]->openError;
  if (error != 0) {
    errno = error;
    return -1;
  }
  int fd = 3;  // like the kernel: the lowest free descriptor above the standard streams
  while (fds_.count(fd)) ++fd;
  fds_[fd] = nodes_[*resolved];
  return fd;
}

int FakeV4l2Io::close(int fd) {
  if (fds_.erase(fd) != 0) return 0;
  errno = EBADF;
  return -1;
}

int FakeV4l2Io::ioctl(int fd, unsigned long request, void* arg) {
  if (!fds_.count(fd)) {
    errno = EBADF;
    return -1;
  }
  Node& node = *fds_[fd];
  if (!node.gone) {
    ++counts_[node.path][request];
    if (node.ioctlsBeforeVanish-- == 0) vanish(node.path);
  }
  int error = node.gone ? ENODEV : 0;
  auto& [failure, times] = node.ioctlFailures[request];
  if (error == 0 && times != 0) {
    error = failure;
    if (times > 0) --times;
  }
  if (error == 0) error = answer(node.device, request, arg);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

}  // namespace kovracam
