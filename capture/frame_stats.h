#pragma once
// Process-wide counters for measuring the preview: frames the cameras produced, frames the video
// window painted, and when the first one was painted. Read by the benchmark through
// KOVRACAM_STATS (see app/main.cpp); costs one relaxed atomic add per frame.

#include <atomic>
#include <cstdint>

namespace kovracam::frame_stats {

inline std::atomic<std::uint64_t> produced{0};
inline std::atomic<std::uint64_t> painted{0};
// steady_clock nanoseconds since its epoch (CLOCK_MONOTONIC) at the first painted frame; 0 before.
inline std::atomic<std::int64_t> firstPaintNs{0};
// The two counts as they stood when the window began to close, before the last frames in
// flight were cut off by stopping the camera.
inline std::atomic<std::uint64_t> producedAtClose{0};
inline std::atomic<std::uint64_t> paintedAtClose{0};

inline void recordClose() {
  producedAtClose = produced.load();
  paintedAtClose = painted.load();
}

}  // namespace kovracam::frame_stats
