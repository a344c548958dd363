#pragma once
// The pictures a simulated camera sends: the virtual cameras' patterns, drawn in the frame's own
// pixel format so that what reaches the app has been through its real conversion.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kovracam::v4l2sim {

struct FrameLayout {
  std::uint32_t pixelFormat;  // V4L2_PIX_FMT_YUYV, _BGR24 or _RGB24
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t stride;  // bytes from one line to the next, padding included
};

// Frame `index` of `pattern` ("smpte", "ball" or a solid colour) with `lift` (-255..255) added
// to every channel, as a brightness control does; `out` holds the whole image.
void paintFrame(const std::string& pattern, std::uint64_t index, const FrameLayout& layout,
                int lift, std::uint8_t* out, std::size_t size);

// The lift a brightness value gives: none at the default, a full swing across the range.
int brightnessLift(std::int64_t value, std::int64_t defaultValue, std::int64_t minimum,
                   std::int64_t maximum);

}  // namespace kovracam::v4l2sim
