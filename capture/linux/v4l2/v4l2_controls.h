#pragma once
// A V4L2 node's user and camera controls, over a descriptor of its own (controls can be read and
// set while another descriptor streams).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/linux/device/device_controls.h"
#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {

class V4l2Controls final : public DeviceControls {
 public:
  // Opens `node` through `io` on first use; `io` must outlive the object.
  V4l2Controls(V4l2Io& io, std::string node);

  std::vector<ControlInfo> list() override;
  std::optional<std::int64_t> get(std::uint32_t id) override;
  int set(std::uint32_t id, std::int64_t value) override;

 private:
  // The open descriptor; -1 with `error` set (ENODEV for a node that is gone) when there is none.
  int descriptor(int& error);

  V4l2Io& io_;
  std::string node_;
  std::optional<ScopedFd> fd_;
};

}  // namespace kovracam
