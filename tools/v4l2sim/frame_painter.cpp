#include "tools/v4l2sim/frame_painter.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstdlib>

namespace kovracam::v4l2sim {
namespace {

struct Rgb {
  int r, g, b;
};

Rgb solid(const std::string& pattern) {
  if (pattern == "red") return {255, 0, 0};
  if (pattern == "green") return {0, 255, 0};
  if (pattern == "blue") return {0, 0, 255};
  if (pattern == "white") return {255, 255, 255};
  return {0, 0, 0};
}

// 75% colour bars, left to right.
Rgb bar(std::uint32_t x, std::uint32_t width) {
  static constexpr Rgb kBars[] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                  {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
  return kBars[std::min<std::uint32_t>(x * 7 / std::max(width, 1u), 6)];
}

// A white ball bouncing across a black field, one step a frame.
bool inBall(std::uint32_t x, std::uint32_t y, std::uint64_t index, const FrameLayout& l) {
  const int radius = static_cast<int>(std::max(l.height / 10, 2u));
  const auto bounce = [&](std::uint64_t step, std::uint32_t side) {
    const int span = std::max(static_cast<int>(side) - 2 * radius, 1);
    const int at = static_cast<int>(step % (2 * span));
    return radius + (at < span ? at : 2 * span - at);
  };
  const int cx = bounce(index * 4, l.width);
  const int cy = bounce(index * 3, l.height);
  const int dx = static_cast<int>(x) - cx;
  const int dy = static_cast<int>(y) - cy;
  return dx * dx + dy * dy <= radius * radius;
}

std::uint8_t clamp8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

int brightnessLift(std::int64_t value, std::int64_t defaultValue, std::int64_t minimum,
                   std::int64_t maximum) {
  if (maximum <= minimum) return 0;
  return static_cast<int>((value - defaultValue) * 255 / (maximum - minimum));
}

void paintFrame(const std::string& pattern, std::uint64_t index, const FrameLayout& l, int lift,
                std::uint8_t* out, std::size_t size) {
  const bool yuyv = l.pixelFormat == V4L2_PIX_FMT_YUYV;
  const std::size_t pixelBytes = yuyv ? 2 : 3;
  const Rgb fill = solid(pattern);
  for (std::uint32_t y = 0; y < l.height; ++y) {
    std::uint8_t* row = out + std::size_t{y} * l.stride;
    if (std::size_t{y} * l.stride + l.width * pixelBytes > size) return;
    for (std::uint32_t x = 0; x < l.width; ++x) {
      // The bars over the top three quarters, black below: which way up is plain to see.
      Rgb c = pattern == "smpte"  ? (y < l.height * 3 / 4 ? bar(x, l.width) : Rgb{0, 0, 0})
              : pattern == "ball" ? (inBall(x, y, index, l) ? Rgb{255, 255, 255} : Rgb{0, 0, 0})
                                  : fill;
      c = {clamp8(c.r + lift), clamp8(c.g + lift), clamp8(c.b + lift)};
      std::uint8_t* p = row + x * pixelBytes;
      if (!yuyv) {
        const bool bgr = l.pixelFormat == V4L2_PIX_FMT_BGR24;
        p[0] = clamp8(bgr ? c.b : c.r);
        p[1] = clamp8(c.g);
        p[2] = clamp8(bgr ? c.r : c.b);
        continue;
      }
      // BT.601 limited range; each pixel pair shares the chroma of its left pixel.
      p[0] = clamp8(16 + (66 * c.r + 129 * c.g + 25 * c.b + 128) / 256);
      if (x % 2 == 0) {
        p[1] = clamp8(128 + (-38 * c.r - 74 * c.g + 112 * c.b + 128) / 256);
      } else {
        p[1] = clamp8(128 + (112 * (c.r) - 94 * c.g - 18 * c.b + 128) / 256);
      }
    }
  }
}

}  // namespace kovracam::v4l2sim
