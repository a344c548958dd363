// Control enumeration and access on a V4L2 node.

#include "capture/linux/v4l2/v4l2_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

namespace kovracam {
namespace {

// Guards against a driver whose NEXT_CTRL enumeration never ends.
constexpr int kMaxControls = 1024;
// Menus longer than this are drivers reporting nonsense ranges; only this many are asked.
constexpr std::int64_t kMaxMenuItems = 256;

// What QUERY_EXT_CTRL and the older QUERYCTRL both report.
struct RawControl {
  std::uint32_t id = 0;
  std::uint32_t type = 0;
  std::string name;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  std::int64_t step = 0;
  std::int64_t defaultValue = 0;
  std::uint32_t flags = 0;
};

// A fixed-size name field, which the kernel NUL-terminates unless the name fills it.
template <typename Char, std::size_t N>
std::string fieldText(const Char (&field)[N]) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, N));
}

template <typename Query>
RawControl rawFrom(const Query& query) {
  RawControl raw;
  raw.id = query.id;
  raw.type = query.type;
  raw.name = fieldText(query.name);
  raw.minimum = query.minimum;
  raw.maximum = query.maximum;
  raw.step = static_cast<std::int64_t>(query.step);
  raw.defaultValue = query.default_value;
  raw.flags = query.flags;
  return raw;
}

// 0, or the errno of the failed query.
int queryControl(V4l2Io& io, int fd, bool extended, std::uint32_t id, RawControl& raw) {
  if (extended) {
    v4l2_query_ext_ctrl query{};
    query.id = id;
    if (io.ioctl(fd, VIDIOC_QUERY_EXT_CTRL, &query) != 0) return errno;
    raw = rawFrom(query);
  } else {
    v4l2_queryctrl query{};
    query.id = id;
    if (io.ioctl(fd, VIDIOC_QUERYCTRL, &query) != 0) return errno;
    raw = rawFrom(query);
  }
  return 0;
}

std::optional<ControlType> controlTypeOf(std::uint32_t type) {
  switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
      return ControlType::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN:
      return ControlType::Boolean;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
      return ControlType::Menu;
    case V4L2_CTRL_TYPE_BUTTON:
      return ControlType::Button;
    default:
      // Class headings, 64-bit, string, bitmask and compound controls have no place here.
      return std::nullopt;
  }
}

bool isListedClass(std::uint32_t id) {
  const auto controlClass = V4L2_CTRL_ID2CLASS(id);
  return controlClass == V4L2_CTRL_CLASS_USER || controlClass == V4L2_CTRL_CLASS_CAMERA;
}

// Reads every item from minimum to maximum; drivers leave gaps, which answer EINVAL and are
// skipped. false when the device went away meanwhile.
bool readMenu(V4l2Io& io, int fd, const RawControl& raw, std::vector<ControlMenuItem>& items) {
  const std::int64_t first = std::max<std::int64_t>(raw.minimum, 0);
  // Counted from the first item: a range may end at the top of int64, where one more overflows.
  const std::int64_t count =
      raw.maximum < first ? 0 : std::min(raw.maximum - first, kMaxMenuItems - 1) + 1;
  for (std::int64_t n = 0; n < count; ++n) {
    const std::int64_t index = first + n;
    v4l2_querymenu item{};
    item.id = raw.id;
    item.index = static_cast<std::uint32_t>(index);
    if (io.ioctl(fd, VIDIOC_QUERYMENU, &item) != 0) {
      if (errno == ENODEV) return false;
      continue;
    }
    // The struct is packed: copy fields out before use.
    const std::int64_t number = item.value;
    char name[sizeof item.name];
    std::memcpy(name, item.name, sizeof name);
    items.push_back(
        {index, raw.type == V4L2_CTRL_TYPE_MENU ? fieldText(name) : std::to_string(number)});
  }
  return true;
}

ControlInfo infoFrom(const RawControl& raw, ControlType type) {
  ControlInfo info;
  info.id = raw.id;
  info.name = raw.name;
  info.type = type;
  info.minimum = raw.minimum;
  info.maximum = raw.maximum;
  info.step = raw.step;
  info.defaultValue = raw.defaultValue;
  info.disabled = (raw.flags & V4L2_CTRL_FLAG_DISABLED) != 0;
  info.inactive = (raw.flags & V4L2_CTRL_FLAG_INACTIVE) != 0;
  info.readOnly = (raw.flags & V4L2_CTRL_FLAG_READ_ONLY) != 0;
  return info;
}

}  // namespace

V4l2Controls::V4l2Controls(V4l2Io& io, std::string node) : io_(io), node_(std::move(node)) {}

int V4l2Controls::descriptor(int& error) {
  if (!fd_) {
    const int fd = io_.open(node_, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
      error = errno == ENOENT || errno == ENXIO ? ENODEV : errno;
      return -1;
    }
    fd_.emplace(io_, fd);
  }
  return fd_->get();
}

std::vector<ControlInfo> V4l2Controls::list() {
  int error = 0;
  const int fd = descriptor(error);
  if (fd < 0) return {};
  std::vector<ControlInfo> controls;
  bool extended = true;
  std::uint32_t last = 0;
  for (int asked = 0; asked < kMaxControls; ++asked) {
    RawControl raw;
    const int result = queryControl(io_, fd, extended, last | V4L2_CTRL_FLAG_NEXT_CTRL, raw);
    if (result == ENOTTY && extended) {
      // Drivers older than the 64-bit query only know the original one: start again with it.
      extended = false;
      last = 0;
      controls.clear();
      continue;
    }
    if (result == ENODEV) return {};
    // EINVAL ends the enumeration; any other failure leaves no id to continue from.
    if (result != 0 || raw.id <= last) break;
    last = raw.id;
    const auto type = controlTypeOf(raw.type);
    if (!type || !isListedClass(raw.id)) continue;
    ControlInfo info = infoFrom(raw, *type);
    if (*type == ControlType::Menu && !readMenu(io_, fd, raw, info.menu)) return {};
    controls.push_back(std::move(info));
  }
  return controls;
}

std::optional<std::int64_t> V4l2Controls::get(std::uint32_t id) {
  int error = 0;
  const int fd = descriptor(error);
  if (fd < 0) return std::nullopt;
  v4l2_control control{};
  control.id = id;
  if (io_.ioctl(fd, VIDIOC_G_CTRL, &control) != 0) return std::nullopt;
  return control.value;
}

int V4l2Controls::set(std::uint32_t id, std::int64_t value) {
  // The kernel's control value is 32 bits wide; a wider one is out of every such range.
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return ERANGE;
  }
  int error = 0;
  const int fd = descriptor(error);
  if (fd < 0) return error;
  v4l2_control control{};
  control.id = id;
  control.value = static_cast<std::int32_t>(value);
  if (io_.ioctl(fd, VIDIOC_S_CTRL, &control) != 0) return errno;
  return 0;
}

}  // namespace kovracam
