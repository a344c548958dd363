#pragma once
// An in-memory DeviceControls for dialog tests. It keeps a value per control, records every set()
// it is asked for, and can be told to refuse changes or to behave like a camera that was pulled
// out: list() empty, get() and set() failing with ENODEV.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "capture/device_controls.h"

namespace kovracam {

class FakeDeviceControls : public DeviceControls {
 public:
  explicit FakeDeviceControls(std::vector<ControlInfo> controls = {})
      : controls_(std::move(controls)) {
    for (const ControlInfo& c : controls_) {
      if (c.type != ControlType::Button) values_[c.id] = c.defaultValue;
    }
  }

  std::vector<ControlInfo> list() override {
    if (vanished_) return {};
    return controls_;
  }

  std::optional<std::int64_t> get(std::uint32_t id) override {
    if (vanished_ || failGet_) return std::nullopt;
    auto it = values_.find(id);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }

  int set(std::uint32_t id, std::int64_t value) override {
    sets_.emplace_back(id, value);
    if (vanished_) return ENODEV;
    if (failSetWith_ != 0) return failSetWith_;
    const ControlInfo* info = find(id);
    if (info == nullptr) return EINVAL;
    if (info->readOnly) return EACCES;
    if (info->type != ControlType::Button) {
      if (value < info->minimum || value > info->maximum) return EINVAL;
      values_[id] = value;
    }
    if (onSet_) onSet_(id, value);
    return 0;
  }

  // Every set() call in order, including the refused ones.
  const std::vector<std::pair<std::uint32_t, std::int64_t>>& sets() const { return sets_; }
  void clearSets() { sets_.clear(); }

  // The value the fake holds now, bypassing the failure switches.
  std::optional<std::int64_t> stored(std::uint32_t id) const {
    auto it = values_.find(id);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void setStored(std::uint32_t id, std::int64_t value) { values_[id] = value; }

  // Every later set() fails with `error` (0 lets them through again); values stay as they were.
  void failSetWith(int error) { failSetWith_ = error; }
  void failGet(bool fail) { failGet_ = fail; }
  // The camera is gone: nothing is listed and every get()/set() fails with ENODEV.
  void vanish() { vanished_ = true; }

  // Lets a test change the control list, e.g. make one control inactive after another is set.
  ControlInfo* find(std::uint32_t id) {
    for (ControlInfo& c : controls_) {
      if (c.id == id) return &c;
    }
    return nullptr;
  }
  // Called after each accepted set(), as a driver updates dependent controls.
  void onSet(std::function<void(std::uint32_t, std::int64_t)> hook) { onSet_ = std::move(hook); }

 private:
  std::vector<ControlInfo> controls_;
  std::map<std::uint32_t, std::int64_t> values_;
  std::vector<std::pair<std::uint32_t, std::int64_t>> sets_;
  std::function<void(std::uint32_t, std::int64_t)> onSet_;
  int failSetWith_ = 0;
  bool failGet_ = false;
  bool vanished_ = false;
};

}  // namespace kovracam
