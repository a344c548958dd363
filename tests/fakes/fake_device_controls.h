#pragma once
// An in-memory DeviceControls for dialog tests: it keeps a value per control and records every
// set() it is asked for. Its state is open, so that a test can make it refuse changes, change a
// control's flags, or behave like a camera that was pulled out (nothing listed, ENODEV).

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "capture/linux/device/device_controls.h"

namespace kovracam {

struct FakeDeviceControls : DeviceControls {
  explicit FakeDeviceControls(std::vector<ControlInfo> listed) : controls(std::move(listed)) {
    for (const ControlInfo& c : controls) {
      if (c.type != ControlType::Button) values[c.id] = c.defaultValue;
    }
  }

  std::vector<ControlInfo> list() override { return vanished ? decltype(controls){} : controls; }

  std::optional<std::int64_t> get(std::uint32_t id) override {
    if (vanished || failGet || !values.contains(id)) return std::nullopt;
    return values[id];
  }

  int set(std::uint32_t id, std::int64_t value) override {
    sets.emplace_back(id, value);
    const auto c = std::find_if(controls.begin(), controls.end(),
                                [id](const ControlInfo& c) { return c.id == id; });
    if (vanished) return ENODEV;
    if (failSetWith != 0) return failSetWith;
    if (c == controls.end()) return EINVAL;
    if (c->readOnly) return EACCES;
    if (c->type != ControlType::Button) {
      if (value < c->minimum || value > c->maximum) return EINVAL;
      values[id] = value;
    }
    if (onSet) onSet(id, value);
    return 0;
  }

  std::vector<ControlInfo> controls;
  std::map<std::uint32_t, std::int64_t> values;  // what the camera holds, whatever get() says
  std::vector<std::pair<std::uint32_t, std::int64_t>> sets;  // every set(), the refused ones too
  std::function<void(std::uint32_t, std::int64_t)> onSet;    // after each accepted set()
  int failSetWith = 0;  // when not 0, every set() fails with it and values stay
  bool failGet = false;
  bool vanished = false;
};

}  // namespace kovracam
