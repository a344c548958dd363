#pragma once
// Counts and stamps frames on the streaming thread and turns them into a frame rate on the
// user-interface thread. m_csFrames guards the count and the last stamp; the previous stamp and
// the fallback rate belong to the reading thread alone.

#include <cstdint>
#include <functional>
#include <mutex>

namespace kovracam {

class FrameTiming {
 public:
  // `clock` returns nanoseconds of a monotonic clock.
  explicit FrameTiming(std::function<std::int64_t()> clock);

  // Streaming thread, once per frame.
  void stamp();
  // When a graph starts running: the next reading covers the frames from now on.
  void reset();
  // Frames per second between the last frame before the previous reading and the last frame
  // before this one; the fallback rate (0.0 after reset) when no frame came in between.
  double read();

 private:
  std::function<std::int64_t()> m_clock;
  std::mutex m_csFrames;
  std::int64_t m_liLastSample = 0;  // guarded by m_csFrames
  std::uint32_t m_nFrames = 0;      // guarded by m_csFrames
  std::int64_t m_liPrevSample = 0;
  double m_dLastRate = 0.0;
};

}  // namespace kovracam
