#pragma once
// One open file's control-event subscriptions and its pending events, as the control framework
// keeps them: one pending event a control, later changes merged into it.

#include <linux/videodev2.h>

#include <cstdint>
#include <deque>
#include <map>

#include "tools/v4l2sim/device_model.h"

namespace kovracam::v4l2sim {

class ControlEvents {
 public:
  // SUBSCRIBE_EVENT and UNSUBSCRIBE_EVENT; 0 or the errno.
  int subscribe(Device& device, const v4l2_event_subscription& subscription);
  int unsubscribe(const v4l2_event_subscription& subscription);
  // DQEVENT: ENOENT when none is pending.
  int dequeue(v4l2_event& event);
  bool pending() const { return !events_.empty(); }

  // A control's value changed; `bySelf` when this file changed it.
  void changed(const Control& control, bool bySelf);

 private:
  void post(const Control& control, std::uint32_t changes);

  std::map<std::uint32_t, std::uint32_t> subscriptions_;  // control id -> V4L2_EVENT_SUB_FL_*
  std::deque<v4l2_event> events_;
  std::uint32_t sequence_ = 0;
};

}  // namespace kovracam::v4l2sim
