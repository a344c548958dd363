// The fake kernel's control ioctls, answered the way the kernel's control framework answers them.

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "tests/fakes/fake_v4l2_io.h"
#include "tests/fakes/fake_v4l2_io_util.h"

namespace kovracam {
namespace {

constexpr std::uint32_t kNextFlags = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;

bool isCompound(std::uint32_t type) { return type >= V4L2_CTRL_COMPOUND_TYPES; }

// Controls whose value travels in a 32-bit integer (G_CTRL / S_CTRL can reach them).
bool isInt(std::uint32_t type) {
  return !isCompound(type) && type != V4L2_CTRL_TYPE_INTEGER64 && type != V4L2_CTRL_TYPE_STRING;
}

bool isMenu(std::uint32_t type) {
  return type == V4L2_CTRL_TYPE_MENU || type == V4L2_CTRL_TYPE_INTEGER_MENU;
}

const FakeControl* findControl(const FakeDevice& device, std::uint32_t id) {
  for (const auto& control : device.controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

// The control a query names: its exact id, or with a NEXT flag the lowest id above it among the
// kinds the flags ask for (NEXT_CTRL: plain controls, NEXT_COMPOUND: compound ones).
const FakeControl* lookup(const FakeDevice& device, std::uint32_t id) {
  const std::uint32_t next = id & kNextFlags;
  if (next == 0) return findControl(device, id);
  const std::uint32_t after = id & V4L2_CTRL_ID_MASK;
  const FakeControl* best = nullptr;
  for (const auto& control : device.controls) {
    const bool wanted = isCompound(control.type) ? (next & V4L2_CTRL_FLAG_NEXT_COMPOUND)
                                                 : (next & V4L2_CTRL_FLAG_NEXT_CTRL);
    if (wanted && control.id > after && (!best || control.id < best->id)) best = &control;
  }
  return best;
}

std::int32_t toInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// An integer the driver does not take exactly is moved to the nearest step inside the range.
std::int64_t roundToRange(std::int64_t value, const FakeControl& control) {
  const std::int64_t step = std::max<std::int64_t>(static_cast<std::int64_t>(control.step), 1);
  if (control.maximum >= 0 && value >= control.maximum - step / 2) {
    value = control.maximum;
  } else {
    value += step / 2;
  }
  value = std::clamp(value, control.minimum, control.maximum);
  return control.minimum + (value - control.minimum) / step * step;
}

bool hasMenuItem(const FakeControl& control, std::int64_t index) {
  return control.type == V4L2_CTRL_TYPE_MENU ? control.menuNames.count(index) != 0
                                             : control.menuValues.count(index) != 0;
}

// The value the driver stores for `value`, or the errno it refuses it with.
int validate(const FakeControl& control, std::int64_t& value) {
  switch (control.type) {
    case V4L2_CTRL_TYPE_INTEGER:
      value = roundToRange(value, control);
      return 0;
    case V4L2_CTRL_TYPE_BOOLEAN:
      value = value != 0;
      return 0;
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
      if (value < control.minimum || value > control.maximum) return ERANGE;
      return hasMenuItem(control, value) ? 0 : EINVAL;
    case V4L2_CTRL_TYPE_BITMASK:
      return (value & ~control.maximum) != 0 ? ERANGE : 0;
    default:
      value = 0;  // buttons and class entries carry no value
      return 0;
  }
}

FakeControl makeControl(std::uint32_t id, const std::string& name, std::uint32_t type) {
  FakeControl control;
  control.id = id;
  control.name = name;
  control.type = type;
  return control;
}

template <typename Items>
FakeControl makeMenu(std::uint32_t id, const std::string& name, std::uint32_t type,
                     const Items& items, std::uint32_t defaultIndex) {
  FakeControl control = makeControl(id, name, type);
  if (!items.empty()) {
    control.minimum = items.begin()->first;
    control.maximum = items.rbegin()->first;
  }
  control.defaultValue = control.value = defaultIndex;
  return control;
}

}  // namespace

FakeControl fakeIntegerControl(std::uint32_t id, const std::string& name, std::int64_t minimum,
                               std::int64_t maximum, std::uint64_t step,
                               std::int64_t defaultValue) {
  FakeControl control = makeControl(id, name, V4L2_CTRL_TYPE_INTEGER);
  control.minimum = minimum;
  control.maximum = maximum;
  control.step = step;
  control.defaultValue = control.value = defaultValue;
  return control;
}

FakeControl fakeBooleanControl(std::uint32_t id, const std::string& name, bool defaultValue) {
  FakeControl control = makeControl(id, name, V4L2_CTRL_TYPE_BOOLEAN);
  control.maximum = 1;
  control.defaultValue = control.value = defaultValue;
  return control;
}

FakeControl fakeMenuControl(std::uint32_t id, const std::string& name,
                            std::map<std::uint32_t, std::string> items,
                            std::uint32_t defaultIndex) {
  FakeControl control = makeMenu(id, name, V4L2_CTRL_TYPE_MENU, items, defaultIndex);
  control.menuNames = std::move(items);
  return control;
}

FakeControl fakeIntegerMenuControl(std::uint32_t id, const std::string& name,
                                   std::map<std::uint32_t, std::int64_t> items,
                                   std::uint32_t defaultIndex) {
  FakeControl control = makeMenu(id, name, V4L2_CTRL_TYPE_INTEGER_MENU, items, defaultIndex);
  control.menuValues = std::move(items);
  return control;
}

FakeControl fakeButtonControl(std::uint32_t id, const std::string& name) {
  FakeControl control = makeControl(id, name, V4L2_CTRL_TYPE_BUTTON);
  control.step = 0;
  control.flags = V4L2_CTRL_FLAG_WRITE_ONLY | V4L2_CTRL_FLAG_EXECUTE_ON_WRITE;
  return control;
}

FakeControl fakeClassControl(std::uint32_t classId, const std::string& name) {
  FakeControl control = makeControl(classId, name, V4L2_CTRL_TYPE_CTRL_CLASS);
  control.step = 0;
  control.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
  return control;
}

int FakeV4l2Io::queryExtControl(const FakeDevice& device, v4l2_query_ext_ctrl& query) {
  const FakeControl* control = lookup(device, query.id);
  if (!control) return EINVAL;
  query = {};
  query.id = control->id;
  query.type = control->type;
  copyFakeName(query.name, control->name);
  query.minimum = control->minimum;
  query.maximum = control->maximum;
  query.step = control->step;
  query.default_value = control->defaultValue;
  query.flags = control->flags;
  query.elem_size = control->type == V4L2_CTRL_TYPE_INTEGER64 ? 8 : 4;
  query.elems = 1;
  return 0;
}

int FakeV4l2Io::queryControl(const FakeDevice& device, v4l2_queryctrl& query) {
  v4l2_query_ext_ctrl ext{};
  ext.id = query.id;
  if (const int error = queryExtControl(device, ext)) return error;
  query = {};
  query.id = ext.id;
  query.type = ext.type;
  std::copy(std::begin(ext.name), std::end(ext.name), std::begin(query.name));
  query.flags = ext.flags;
  // The old call has 32-bit fields and gives no range for 64-bit and compound controls.
  const bool ranged =
      isInt(ext.type) && ext.type != V4L2_CTRL_TYPE_BUTTON && ext.type != V4L2_CTRL_TYPE_CTRL_CLASS;
  if (ranged || ext.type == V4L2_CTRL_TYPE_STRING) {
    query.minimum = toInt32(ext.minimum);
    query.maximum = toInt32(ext.maximum);
    query.step = toInt32(static_cast<std::int64_t>(ext.step));
    query.default_value = toInt32(ext.default_value);
  }
  return 0;
}

int FakeV4l2Io::queryMenu(const FakeDevice& device, v4l2_querymenu& item) {
  const FakeControl* control = findControl(device, item.id);
  if (!control || !isMenu(control->type)) return EINVAL;
  const std::int64_t index = item.index;
  if (index < control->minimum || index > control->maximum || !hasMenuItem(*control, index)) {
    return EINVAL;
  }
  item.reserved = 0;
  if (control->type == V4L2_CTRL_TYPE_MENU) {
    // The struct is packed: fill an aligned copy of the field.
    char name[sizeof item.name];
    copyFakeName(name, control->menuNames.at(item.index));
    std::memcpy(item.name, name, sizeof name);
  } else {
    item.value = control->menuValues.at(item.index);
  }
  return 0;
}

int FakeV4l2Io::getControl(const FakeDevice& device, v4l2_control& request) {
  const FakeControl* control = findControl(device, request.id);
  if (!control || !isInt(control->type)) return EINVAL;
  if (control->flags & V4L2_CTRL_FLAG_WRITE_ONLY) return EACCES;
  if (control->flags & V4L2_CTRL_FLAG_DISABLED) return EINVAL;
  request.value = toInt32(control->value);
  return 0;
}

int FakeV4l2Io::setControl(FakeDevice& device, v4l2_control& request) {
  auto control = std::find_if(device.controls.begin(), device.controls.end(),
                              [&](const FakeControl& c) { return c.id == request.id; });
  if (control == device.controls.end() || !isInt(control->type)) return EINVAL;
  if (control->flags & V4L2_CTRL_FLAG_READ_ONLY) return EACCES;
  if (control->flags & V4L2_CTRL_FLAG_DISABLED) return EINVAL;
  std::int64_t value = request.value;
  if (const int error = validate(*control, value)) return error;
  control->value = value;
  request.value = toInt32(value);
  return 0;
}

}  // namespace kovracam
