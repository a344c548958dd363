#pragma once
// One simulated node and the files open on it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/v4l2sim/buffer_queue.h"
#include "tools/v4l2sim/control_events.h"
#include "tools/v4l2sim/device_tree.h"
#include "tools/v4l2sim/sim_config.h"

namespace kovracam::v4l2sim {

using Clock = std::chrono::steady_clock;

struct SimNode;

struct OpenFile {
  SimNode* node = nullptr;
  int eventFd = -1;  // what the caller's descriptors really are
  bool signalled = false;
  std::uint32_t priority = V4L2_PRIORITY_DEFAULT;
  ControlEvents events;
};

struct SimNode {
  NodeConfig config;
  std::string path;  // /dev/videoN
  bool gone = false;
  std::vector<OpenFile*> files;
  BufferQueue queue;
  unsigned bufferGeneration = 0;  // a new one at every REQBUFS
  std::optional<Clock::time_point> firstOpen;
  std::optional<Clock::time_point> firstStream;
  // The frame source: frame `frameIndex` is due at streamStart + frameIndex intervals.
  unsigned streamGeneration = 0;  // the running source stops when this moves on
  Clock::time_point streamStart;
  std::uint64_t frameIndex = 0;
  std::uint32_t sequence = 0;
  // read() I/O, as videobuf2 emulates it on the buffer queue: the file reading, and the frame
  // it has begun (the rest of a frame a short read left behind is the next read's).
  OpenFile* reader = nullptr;
  std::optional<std::uint32_t> readBuffer;
  std::uint32_t readOffset = 0;
};

}  // namespace kovracam::v4l2sim
