#include "capture/pixel/pixel_conversion.h"

#include <cfloat>
#include <cmath>
#include <cstring>

// Every table entry must come out the same on every build; reassociated or fused arithmetic, or
// intermediates kept in wider registers, would move entries that sit near a rounding edge.
#if defined(__FAST_MATH__)
#error "pixel_conversion.cpp must not be built with -ffast-math"
#endif
#if defined(__clang__)
#pragma clang fp contract(off)
#endif
static_assert(FLT_EVAL_METHOD == 0, "table arithmetic needs plain double evaluation");

namespace kovracam {

namespace {

constexpr int kLevels = 256;

}  // namespace

std::uint8_t ClampToByte(double x) {
  // The negated test also sends NaN to 0 instead of into an undefined conversion.
  if (!(x >= 0.0)) {
    return 0;
  }
  if (x > 255.0) {
    return 255;
  }
  const double whole = std::floor(x);
  const double rounded = (x - whole > 0.5) ? whole + 1.0 : whole;
  return static_cast<std::uint8_t>(rounded);
}

ConversionTables::ConversionTables()
    : m_ppTableB(new std::uint8_t[kLevels * kLevels]),
      m_pppTableG(new std::uint8_t[kLevels * kLevels * kLevels]),
      m_ppTableR(new std::uint8_t[kLevels * kLevels]) {}

void BuildConversionTables(ConversionTables& tables) {
  // The chroma products depend on one index only; computing each once gives the same doubles
  // as computing them inside the loops, and every sum keeps its left-to-right order.
  double redV[kLevels];
  double greenV[kLevels];
  double greenU[kLevels];
  double blueU[kLevels];
  for (int c = 0; c < kLevels; ++c) {
    const double centred = static_cast<double>(c - 128);
    redV[c] = 1.596 * centred;
    greenV[c] = 0.813 * centred;
    greenU[c] = 0.391 * centred;
    blueU[c] = 2.018 * centred;
  }

  std::uint8_t* const blue = tables.m_ppTableB.get();
  std::uint8_t* const green = tables.m_pppTableG.get();
  std::uint8_t* const red = tables.m_ppTableR.get();
  for (int y = 0; y < kLevels; ++y) {
    const double yTerm = 1.164 * static_cast<double>(y - 16);
    for (int c = 0; c < kLevels; ++c) {
      blue[(y << 8) | c] = ClampToByte(yTerm + blueU[c]);
      red[(y << 8) | c] = ClampToByte(yTerm + redV[c]);
    }
    for (int v = 0; v < kLevels; ++v) {
      const double yMinusV = yTerm - greenV[v];
      std::uint8_t* const row = green + ((y << 16) | (v << 8));
      for (int u = 0; u < kLevels; ++u) {
        row[u] = ClampToByte(yMinusV - greenU[u]);
      }
    }
  }
}

namespace {

inline void WritePixel(std::uint8_t* out, const std::uint8_t* blueY, const std::uint8_t* greenY,
                       const std::uint8_t* redY, int u, int vu, int v) {
  out[0] = blueY[u];
  out[1] = greenY[vu];
  out[2] = redY[v];
}

void ConvertRow(std::uint8_t* out, const std::uint8_t* in, int width, const ConversionTables& t) {
  const std::uint8_t* const blue = t.m_ppTableB.get();
  const std::uint8_t* const green = t.m_pppTableG.get();
  const std::uint8_t* const red = t.m_ppTableR.get();
  const int pairs = width / 2;
  for (int i = 0; i < pairs; ++i, in += 4, out += 6) {
    const int y0 = in[0];
    const int u = in[1];
    const int y1 = in[2];
    const int v = in[3];
    const int vu = (v << 8) | u;
    WritePixel(out, blue + (y0 << 8), green + (y0 << 16), red + (y0 << 8), u, vu, v);
    WritePixel(out + 3, blue + (y1 << 8), green + (y1 << 16), red + (y1 << 8), u, vu, v);
  }
  if (width & 1) {
    // The last pixel of an odd row has no V of its own: it borrows its neighbour's, or 128.
    const int y0 = in[0];
    const int u = in[1];
    const int v = pairs > 0 ? in[-1] : 128;
    WritePixel(out, blue + (y0 << 8), green + (y0 << 16), red + (y0 << 8), u, (v << 8) | u, v);
  }
}

}  // namespace

void ConvertYUY2ToRGB24(std::uint8_t* destination, int height, int width,
                        const std::uint8_t* source, const ConversionTables& tables) {
  if (height <= 0 || width <= 0) {
    return;
  }
  const std::size_t sourceStride = static_cast<std::size_t>(width) * 2;
  const std::size_t stride = rgb24Stride(width);
  const std::size_t pixelBytes = static_cast<std::size_t>(width) * 3;
  for (int row = 0; row < height; ++row, source += sourceStride) {
    // The picture is stored bottom-up: the last source row becomes the first destination row.
    std::uint8_t* const out = destination + stride * static_cast<std::size_t>(height - 1 - row);
    ConvertRow(out, source, width, tables);
    std::memset(out + pixelBytes, 0, stride - pixelBytes);
  }
}

}  // namespace kovracam
