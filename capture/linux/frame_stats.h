#pragma once
// Process-wide counters for measuring the preview: frames the cameras produced, frames the video
// window painted, and when the first one was painted. Read by the benchmark through
// KOVRACAM_STATS (see app/linux/main.cpp); costs one relaxed atomic add per frame, and two relaxed
// loads per painted frame for the recording figures below.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kovracam::frame_stats {

// steady_clock nanoseconds since its epoch: CLOCK_MONOTONIC, the clock the benchmark reads too.
inline std::int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline std::atomic<std::uint64_t> produced{0};
inline std::atomic<std::uint64_t> painted{0};
// nowNs() at the first painted frame; 0 before.
inline std::atomic<std::int64_t> firstPaintNs{0};
// The two counts as they stood when the window began to close, before the last frames in
// flight were cut off by stopping the camera.
inline std::atomic<std::uint64_t> producedAtClose{0};
inline std::atomic<std::uint64_t> paintedAtClose{0};

inline void recordClose() {
  producedAtClose = produced.load();
  paintedAtClose = painted.load();
}

// The last recording: `produced` when its branch was built (the camera not yet streaming) and
// when its end-of-stream reached the file writer (the camera no longer streaming).
inline std::atomic<std::uint64_t> producedAtRecordStart{0};
inline std::atomic<std::uint64_t> producedAtRecordEnd{0};
// nowNs() when Start Capture had the recording running; 0 outside a recording. While it is set
// the video window keeps the longest gap between two frames it painted, and when it ended.
inline std::atomic<std::int64_t> recordingSinceNs{0};
inline std::atomic<std::int64_t> recordingMaxGapNs{0};
inline std::atomic<std::int64_t> recordingMaxGapEndNs{0};
// Steps of the last Stop Capture, each nowNs() or 0: the command entered, the end-of-stream
// reached the file writer (avimux has written its index and headers), the recording graph
// stopped and released (the file closed), the preview graph running again, and the first frame
// the video window painted after that.
inline std::atomic<std::int64_t> stopNs{0};
inline std::atomic<std::int64_t> fileDoneNs{0};
inline std::atomic<std::int64_t> recordingClosedNs{0};
inline std::atomic<std::int64_t> previewRunNs{0};
inline std::atomic<std::int64_t> previewPaintNs{0};
inline std::atomic<bool> awaitingPreviewPaint{false};
// Steps of the last snapshot, each nowNs() or 0: a Save As dialog accepted, the dialog gone and
// the frame asked for, the frame copied, the picture encoded, and the file renamed into place.
inline std::atomic<std::int64_t> saveAcceptedNs{0};
inline std::atomic<std::int64_t> snapshotAskedNs{0};
inline std::atomic<std::int64_t> snapshotFrameNs{0};
inline std::atomic<std::int64_t> snapshotEncodedNs{0};
inline std::atomic<std::int64_t> snapshotSavedNs{0};

}  // namespace kovracam::frame_stats
