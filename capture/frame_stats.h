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

}  // namespace kovracam::frame_stats
