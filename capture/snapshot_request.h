#pragma once
// What one snapshot request asks for, the same on every engine: the sizes of the caller's 24-bit
// bottom-up picture and of the frame as the camera delivers it, and how long to wait for it.

#include <chrono>
#include <cstddef>
#include <optional>

namespace kovracam {

struct SnapshotSizes {
  std::size_t rows = 0;
  std::size_t pictureStride = 0;  // a 24-bit row padded to 4 bytes
  std::size_t frameBytes = 0;     // YUY2: 2 bytes a pixel, unpadded; RGB24: the picture's rows
};

// nullopt when the video has no size or `length` bytes cannot hold the picture.
std::optional<SnapshotSizes> snapshotSizes(int width, int height, bool yuy2, std::size_t length);

// Five frame intervals (a second when the interval is unknown, zero or less) and a grace of two
// seconds: a camera that sends nothing for that long is taken to have stalled.
std::chrono::nanoseconds snapshotTimeout(std::chrono::nanoseconds frameInterval);

}  // namespace kovracam
