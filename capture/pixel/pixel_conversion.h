#pragma once
// YUY2 to bottom-up 24-bit BGR through three lookup tables computed once (BT.601 studio range).

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kovracam {

// Rounds to the nearest byte, clamping to 0..255; a fraction of exactly 0.5 rounds down.
std::uint8_t ClampToByte(double x);

struct ConversionTables {
  // Blue [Y][U], green [Y][V][U], red [Y][V]; each one contiguous block in that index order.
  std::unique_ptr<std::uint8_t[]> m_ppTableB;   // 256 * 256
  std::unique_ptr<std::uint8_t[]> m_pppTableG;  // 256 * 256 * 256
  std::unique_ptr<std::uint8_t[]> m_ppTableR;   // 256 * 256

  ConversionTables();  // allocates; contents undefined until BuildConversionTables has run

  std::uint8_t blue(int y, int u) const { return m_ppTableB[(y << 8) | u]; }
  std::uint8_t green(int y, int v, int u) const { return m_pppTableG[(y << 16) | (v << 8) | u]; }
  std::uint8_t red(int y, int v) const { return m_ppTableR[(y << 8) | v]; }
};

void BuildConversionTables(ConversionTables& tables);

// Bytes per row of a 24-bit picture: width * 3 rounded up to a multiple of 4.
inline std::size_t rgb24Stride(int width) {
  return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

// source: `height` YUY2 rows of width * 2 bytes, top row first. destination: `height` rows of
// rgb24Stride(width) bytes, bottom picture row first, B G R per pixel; padding bytes zeroed.
void ConvertYUY2ToRGB24(std::uint8_t* destination, int height, int width,
                        const std::uint8_t* source, const ConversionTables& tables);

}  // namespace kovracam
