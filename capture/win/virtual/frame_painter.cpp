#include "capture/win/virtual/frame_painter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace kovracam {
namespace {

// One colour in both encodings, as the Linux test source writes it (studio-range YUV, and the
// bytes of a 24-bit BGR pixel).
struct Colour {
  std::uint8_t y, u, v;
  std::uint8_t b, g, r;
};

constexpr Colour kWhite{235, 128, 128, 255, 255, 255};
constexpr Colour kYellow{210, 16, 146, 0, 255, 255};
constexpr Colour kCyan{170, 166, 16, 255, 255, 0};
constexpr Colour kGreen{145, 54, 34, 0, 255, 0};
constexpr Colour kMagenta{106, 202, 222, 255, 0, 255};
constexpr Colour kRed{81, 90, 240, 0, 0, 255};
constexpr Colour kBlue{41, 240, 110, 255, 0, 0};
constexpr Colour kBlack{16, 128, 128, 0, 0, 0};
constexpr Colour kMinusI{16, 198, 21, 128, 0, 0};
constexpr Colour kPlusQ{16, 235, 198, 255, 128, 0};

struct SolidPattern {
  std::string_view name;
  Colour colour;
};
constexpr SolidPattern kSolidPatterns[] = {
    {"red", kRed}, {"green", kGreen}, {"blue", kBlue}, {"white", kWhite}, {"black", kBlack}};

constexpr Colour kTopBars[] = {kWhite, kYellow, kCyan, kGreen, kMagenta, kRed, kBlue};
constexpr Colour kMiddleBars[] = {kBlue, kBlack, kMagenta, kBlack, kCyan, kBlack, kWhite};
constexpr Colour kBottomBlocks[] = {kMinusI, kWhite, kPlusQ, kBlack};

enum class Kind { Solid, Smpte, Ball, Unknown };

struct Painter {
  Kind kind = Kind::Unknown;
  Colour solid = kBlack;
  int width = 0;
  int height = 0;
  // The ball's centre and radius in this frame.
  int ballX = 0;
  int ballY = 0;
  int ballRadius = 0;

  Colour at(int x, int y) const {
    switch (kind) {
      case Kind::Solid:
        return solid;
      case Kind::Smpte:
      case Kind::Unknown:  // a pattern only the Linux source knows: the default bars
        return smpteAt(x, y);
      case Kind::Ball:
        break;
    }
    const int dx = x - ballX;
    const int dy = y - ballY;
    return dx * dx + dy * dy <= ballRadius * ballRadius ? kWhite : kBlack;
  }

  // Colour bars over the top two thirds, the reversed strip down to three quarters, then the
  // -I, white, +Q and black blocks.
  Colour smpteAt(int x, int y) const {
    const int bar = std::min(6, x * 7 / width);
    if (y < height * 2 / 3) return kTopBars[bar];
    if (y < height * 3 / 4) return kMiddleBars[bar];
    const int block = x * 28 / width / 5;  // four blocks over the left five sevenths
    return block < 4 ? kBottomBlocks[block] : kBlack;
  }
};

Painter painterFor(const std::string& pattern, const CaptureFormat& format,
                   std::uint64_t frameNumber) {
  Painter painter;
  painter.width = std::max(format.width, 1);
  painter.height = std::max(format.height, 1);
  for (const SolidPattern& solid : kSolidPatterns) {
    if (pattern == solid.name) {
      painter.kind = Kind::Solid;
      painter.solid = solid.colour;
      return painter;
    }
  }
  if (pattern == "smpte") {
    painter.kind = Kind::Smpte;
  } else if (pattern == "ball") {
    painter.kind = Kind::Ball;
    // A white ball on black, bouncing along a Lissajous path of a few seconds.
    const int radius = std::max(1, std::min(painter.width, painter.height) / 10);
    const double t = static_cast<double>(frameNumber % 3600);
    painter.ballRadius = radius;
    painter.ballX =
        radius + static_cast<int>((painter.width - 2 * radius) * (0.5 + 0.5 * std::sin(t * 0.071)));
    painter.ballY = radius + static_cast<int>((painter.height - 2 * radius) *
                                              (0.5 + 0.5 * std::sin(t * 0.113)));
  }
  return painter;
}

void paintYuy2(const Painter& p, std::uint8_t* frame) {
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* row = frame + static_cast<std::size_t>(y) * p.width * 2;
    for (int x = 0; x + 1 < p.width; x += 2) {
      const Colour left = p.at(x, y);
      const Colour right = p.at(x + 1, y);
      row[x * 2] = left.y;
      row[x * 2 + 1] = left.u;
      row[x * 2 + 2] = right.y;
      row[x * 2 + 3] = left.v;
    }
  }
}

void paintRgb24(const Painter& p, std::uint8_t* frame) {
  const std::size_t stride = (static_cast<std::size_t>(p.width) * 3 + 3) & ~std::size_t{3};
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* row = frame + (p.height - 1 - y) * stride;  // bottom-up
    for (int x = 0; x < p.width; ++x) {
      const Colour c = p.at(x, y);
      row[x * 3] = c.b;
      row[x * 3 + 1] = c.g;
      row[x * 3 + 2] = c.r;
    }
    std::memset(row + p.width * 3, 0, stride - p.width * 3);
  }
}

void paintI420(const Painter& p, std::uint8_t* frame) {
  const int chromaWidth = (p.width + 1) / 2;
  const int chromaHeight = (p.height + 1) / 2;
  std::uint8_t* luma = frame;
  std::uint8_t* cb = luma + static_cast<std::size_t>(p.width) * p.height;
  std::uint8_t* cr = cb + static_cast<std::size_t>(chromaWidth) * chromaHeight;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) luma[y * p.width + x] = p.at(x, y).y;
  }
  for (int y = 0; y < chromaHeight; ++y) {
    for (int x = 0; x < chromaWidth; ++x) {
      const Colour c = p.at(x * 2, y * 2);
      cb[y * chromaWidth + x] = c.u;
      cr[y * chromaWidth + x] = c.v;
    }
  }
}

std::size_t bytesOf(const CaptureFormat& f) {
  const std::size_t w = static_cast<std::size_t>(f.width);
  const std::size_t h = static_cast<std::size_t>(f.height);
  switch (f.subtype) {
    case Subtype::YUY2:
      return w * 2 * h;
    case Subtype::RGB24:
      return ((w * 3 + 3) & ~std::size_t{3}) * h;
    case Subtype::I420:
      return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    case Subtype::MJPG:
      break;
  }
  return 0;
}

}  // namespace

const std::vector<std::string>& paintablePatterns() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list{"smpte", "ball"};
    for (const SolidPattern& solid : kSolidPatterns) list.emplace_back(solid.name);
    return list;
  }();
  return names;
}

bool paintFrame(const std::string& pattern, const CaptureFormat& format, std::uint64_t frameNumber,
                std::uint8_t* frame, std::size_t size) {
  const std::size_t needed = bytesOf(format);
  if (format.width <= 0 || format.height <= 0 || needed == 0 || size < needed) return false;
  const Painter painter = painterFor(pattern, format, frameNumber);
  switch (format.subtype) {
    case Subtype::YUY2:
      paintYuy2(painter, frame);
      return true;
    case Subtype::RGB24:
      paintRgb24(painter, frame);
      return true;
    case Subtype::I420:
      paintI420(painter, frame);
      return true;
    case Subtype::MJPG:
      break;
  }
  return false;
}

}  // namespace kovracam
