#include "tools/v4l2sim/control_events.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace kovracam::v4l2sim {

int ControlEvents::subscribe(Device& device, const v4l2_event_subscription& subscription) {
  if (subscription.type != V4L2_EVENT_CTRL) return EINVAL;
  const Control* control = findControl(device, subscription.id);
  if (!control) return EINVAL;
  subscriptions_[control->id] = subscription.flags;
  if ((subscription.flags & V4L2_EVENT_SUB_FL_SEND_INITIAL) &&
      !(control->flags & V4L2_CTRL_FLAG_WRITE_ONLY)) {
    post(*control, V4L2_EVENT_CTRL_CH_VALUE | V4L2_EVENT_CTRL_CH_FLAGS);
  }
  return 0;
}

int ControlEvents::unsubscribe(const v4l2_event_subscription& subscription) {
  if (subscription.type == V4L2_EVENT_ALL) {
    subscriptions_.clear();
    events_.clear();
    return 0;
  }
  if (subscription.type != V4L2_EVENT_CTRL) return 0;
  subscriptions_.erase(subscription.id);
  std::erase_if(events_, [&](const v4l2_event& e) { return e.id == subscription.id; });
  return 0;
}

int ControlEvents::dequeue(v4l2_event& event) {
  if (events_.empty()) return ENOENT;
  event = events_.front();
  events_.pop_front();
  event.pending = static_cast<std::uint32_t>(events_.size());
  return 0;
}

void ControlEvents::changed(const Control& control, bool bySelf) {
  const auto subscription = subscriptions_.find(control.id);
  if (subscription == subscriptions_.end()) return;
  if (bySelf && !(subscription->second & V4L2_EVENT_SUB_FL_ALLOW_FEEDBACK)) return;
  post(control, V4L2_EVENT_CTRL_CH_VALUE);
}

void ControlEvents::post(const Control& control, std::uint32_t changes) {
  auto merged = std::find_if(events_.begin(), events_.end(),
                             [&](const v4l2_event& e) { return e.id == control.id; });
  if (merged != events_.end()) {
    changes |= merged->u.ctrl.changes;
    events_.erase(merged);
  }
  v4l2_event event{};
  event.type = V4L2_EVENT_CTRL;
  event.id = control.id;
  event.sequence = sequence_++;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  event.timestamp = now;
  auto& c = event.u.ctrl;
  c.changes = changes;
  c.type = control.type;
  if (control.type == V4L2_CTRL_TYPE_INTEGER64) {
    c.value64 = control.value;
  } else {
    c.value = static_cast<std::int32_t>(control.value);
  }
  c.flags = control.flags;
  c.minimum = static_cast<std::int32_t>(control.minimum);
  c.maximum = static_cast<std::int32_t>(control.maximum);
  c.step = static_cast<std::int32_t>(control.step);
  c.default_value = static_cast<std::int32_t>(control.defaultValue);
  events_.push_back(event);
}

}  // namespace kovracam::v4l2sim
