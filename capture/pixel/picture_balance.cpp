#include "capture/pixel/picture_balance.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kovracam {
namespace {

std::uint8_t clampByte(double value) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

std::uint8_t clampByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

std::size_t rgbStride(int width) {
  return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

}  // namespace

BalanceTables::BalanceTables(const PictureBalance& balance)
    : m_balance(balance), m_u(256 * 256), m_v(256 * 256) {
  const double brightness = balance.brightness / 100.0;
  const double contrast = balance.contrast / 100.0;
  const double saturation = balance.saturation / 100.0;
  const double angle = std::numbers::pi * balance.hue / 180.0;
  const double cosine = std::cos(angle);
  const double sine = std::sin(angle);
  for (int y = 0; y < 256; ++y) {
    m_y[static_cast<std::size_t>(y)] = clampByte(16.0 + (y - 16) * contrast + brightness * 255.0);
  }
  for (int u = 0; u < 256; ++u) {
    for (int v = 0; v < 256; ++v) {
      const double cu = u - 128;
      const double cv = v - 128;
      const std::size_t i = static_cast<std::size_t>(u) << 8 | static_cast<std::size_t>(v);
      m_u[i] = clampByte(128.0 + (cu * cosine + cv * sine) * saturation);
      m_v[i] = clampByte(128.0 + (cv * cosine - cu * sine) * saturation);
    }
  }
}

void BalanceTables::bgr(std::uint8_t* pixel) const {
  const int b = pixel[0];
  const int g = pixel[1];
  const int r = pixel[2];
  const int y = 16 + ((66 * r + 129 * g + 25 * b + 128) >> 8);
  const int u = 128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8);
  const int v = 128 + ((112 * r - 94 * g - 18 * b + 128) >> 8);
  std::uint8_t u2 = 0;
  std::uint8_t v2 = 0;
  chroma(clampByte(u), clampByte(v), &u2, &v2);
  const int c = luma(clampByte(y)) - 16;
  const int d = u2 - 128;
  const int e = v2 - 128;
  pixel[0] = clampByte((298 * c + 516 * d + 128) >> 8);
  pixel[1] = clampByte((298 * c - 100 * d - 208 * e + 128) >> 8);
  pixel[2] = clampByte((298 * c + 409 * e + 128) >> 8);
}

bool applyBalance(const BalanceTables& tables, const CaptureFormat& format, std::uint8_t* frame,
                  std::size_t size) {
  if (format.width <= 0 || format.height <= 0) return false;
  const std::size_t w = static_cast<std::size_t>(format.width);
  const std::size_t h = static_cast<std::size_t>(format.height);
  switch (format.subtype) {
    case Subtype::YUY2: {
      if (size < w * 2 * h) return false;
      for (std::size_t row = 0; row < h; ++row) {
        std::uint8_t* p = frame + row * w * 2;
        for (std::size_t pair = 0; pair < w / 2; ++pair, p += 4) {  // Y0 U Y1 V
          p[0] = tables.luma(p[0]);
          p[2] = tables.luma(p[2]);
          tables.chroma(p[1], p[3], &p[1], &p[3]);
        }
      }
      return true;
    }
    case Subtype::RGB24: {
      const std::size_t stride = rgbStride(format.width);
      if (size < stride * h) return false;
      for (std::size_t row = 0; row < h; ++row) {
        std::uint8_t* p = frame + row * stride;
        for (std::size_t x = 0; x < w; ++x) tables.bgr(p + x * 3);
      }
      return true;
    }
    case Subtype::I420: {
      const std::size_t chromaBytes = ((w + 1) / 2) * ((h + 1) / 2);
      if (size < w * h + 2 * chromaBytes) return false;
      for (std::size_t i = 0; i < w * h; ++i) frame[i] = tables.luma(frame[i]);
      std::uint8_t* u = frame + w * h;
      std::uint8_t* v = u + chromaBytes;
      for (std::size_t i = 0; i < chromaBytes; ++i) tables.chroma(u[i], v[i], &u[i], &v[i]);
      return true;
    }
    case Subtype::MJPG:
      break;
  }
  return false;
}

}  // namespace kovracam
