#include "capture/pixel/pixel_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

namespace kovracam {
namespace {

constexpr int kLevels = 256;
using Bytes = std::vector<std::uint8_t>;

// Rounds the other way round from ClampToByte: ceil(x - 0.5) sends an exact half down and
// anything above it up, so the two agree only if both are right.
int expectedByte(double x) {
  if (x <= 0.0) return 0;
  if (x >= 255.0) return 255;
  return static_cast<int>(std::ceil(x - 0.5));
}

double blueOf(int y, int u) { return 1.164 * (y - 16) + 2.018 * (u - 128); }
double greenOf(int y, int v, int u) {
  return (1.164 * (y - 16) - 0.813 * (v - 128)) - 0.391 * (u - 128);
}
double redOf(int y, int v) { return 1.164 * (y - 16) + 1.596 * (v - 128); }

// Building the tables costs tens of milliseconds (more under sanitizers): build them once.
const ConversionTables& tables() {
  static const ConversionTables built = [] {
    ConversionTables t;
    BuildConversionTables(t);
    return t;
  }();
  return built;
}

TEST(ClampToByteTest, RoundsHalvesDownAndClampsToTheByteRange) {
  const std::pair<double, int> cases[] = {{2.5, 2},  {0.5, 0},     {254.5, 254}, {2.51, 3},
                                          {2.49, 2}, {7.0, 7},     {-0.2, 0},    {-1000.0, 0},
                                          {0.0, 0},  {255.0, 255}, {255.4, 255}, {1e9, 255}};
  for (const auto& [x, expected] : cases) EXPECT_EQ(ClampToByte(x), expected) << x;
  EXPECT_EQ(ClampToByte(std::nextafter(2.5, 3.0)), 3);
  EXPECT_EQ(ClampToByte(std::nan("")), 0);
}

TEST(PixelConversion, TablesMatchTheFormulasEverywhere) {
  // Every entry, all 2^24 of green; an exact half must have rounded down (see expectedByte).
  int wrong = 0;
  int halves = 0;
  auto check = [&](const char* table, int y, int c, int u, int entry, double x) {
    halves += x > 0.0 && x < 255.0 && x - std::floor(x) == 0.5;
    if (entry != expectedByte(x) && ++wrong <= 3) {
      ADD_FAILURE() << table << " at " << y << "," << c << "," << u << " is " << entry;
    }
  };
  for (int y = 0; y < kLevels; ++y) {
    for (int c = 0; c < kLevels; ++c) {
      check("blue", y, c, 0, tables().blue(y, c), blueOf(y, c));
      check("red", y, c, 0, tables().red(y, c), redOf(y, c));
      for (int u = 0; u < kLevels; ++u) {
        check("green", y, c, u, tables().green(y, c, u), greenOf(y, c, u));
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(halves, 0);
}

TEST(PixelConversion, BlackWhiteClampsAndExactHalves) {
  ASSERT_EQ(1.164 * 125, 145.5);  // so mid grey Y=141 sits on a rounding edge
  // Y U V, then B G R: black, white (1.164 * 219 = 254.916), Y below black, mid grey on a
  // rounding edge (145.5 down), then each channel clamped at both ends.
  const std::tuple<int, int, int, int, int, int> cases[] = {
      {16, 128, 128, 0, 0, 0},        {235, 128, 128, 255, 255, 255},
      {0, 128, 128, 0, 0, 0},         {141, 128, 128, 145, 145, 145},
      {255, 0, 0, 20, 255, 74},       {0, 255, 255, 238, 0, 184},
      {255, 255, 255, 255, 125, 255}, {0, 0, 0, 0, 135, 0}};
  for (const auto& [y, u, v, b, g, r] : cases) {
    SCOPED_TRACE(::testing::Message() << "YUV " << y << " " << u << " " << v);
    EXPECT_EQ(tables().blue(y, u), b);
    EXPECT_EQ(tables().green(y, v, u), g);
    EXPECT_EQ(tables().red(y, v), r);
  }
}

TEST(PixelConversion, TableContentsHashIsPinned) {
  // Pinned once from a build with -ffp-contract=off; any compiler or flag change that moves an
  // entry changes this FNV-1a hash.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  auto add = [&hash](const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
  };
  add(tables().m_ppTableB.get(), kLevels * kLevels);
  add(tables().m_pppTableG.get(), kLevels * kLevels * kLevels);
  add(tables().m_ppTableR.get(), kLevels * kLevels);
  EXPECT_EQ(hash, 0xad2c3d2a47e93b8bull) << std::hex << "hash is 0x" << hash;
}

constexpr std::size_t kGuardBytes = 16;
constexpr std::uint8_t kFill = 0xAA;

// Converts from a heap copy of exactly the source size, so a read past the last row trips the
// address sanitizer, into a buffer pre-filled with kFill and followed by guard bytes that must
// survive. Returns the picture bytes without the guard.
Bytes convert(const Bytes& source, int width, int height) {
  auto exactSource = std::make_unique<std::uint8_t[]>(source.size());
  std::copy(source.begin(), source.end(), exactSource.get());
  const std::size_t size = height > 0 && width > 0 ? height * rgb24Stride(width) : 0;
  Bytes destination(size + kGuardBytes, kFill);
  ConvertYUY2ToRGB24(destination.data(), height, width, exactSource.get(), tables());
  EXPECT_EQ(Bytes(destination.begin() + size, destination.end()), Bytes(kGuardBytes, kFill))
      << "written past the picture";
  destination.resize(size);
  return destination;
}

// Hand-worked colours used below, as Y U V -> B G R:
//   16 128 128 -> 0 0 0;  235 128 128 -> 255 255 255;  141 128 128 -> 145 145 145 (145.5 down)
//   81 90 240 -> 0 0 254 (B 75.66-76.684, G 75.66-91.056+14.858=-0.538, R 75.66+178.752)
//   126 90 240 -> 51 52 255 (B 128.04-76.684=51.356, G 128.04-91.056+14.858=51.842, R 306.8)
//   41 240 110 -> 255 0 0 (B 29.1+226.016, G 29.1+14.634-43.792, R 29.1-28.728=0.372)
//   145 54 34 -> 1 255 0 (B 150.156-149.332=0.824, G 150.156+76.422+28.934, R 0.132)
//   41 240 128 -> 255 0 29 (R is yTerm alone, 29.1);  16 0 128 -> 0 50 0 (G 0.391 * 128)
TEST(PixelConversion, SmallFramesAreWrittenBottomUpWithZeroedPadding) {
  // A last pixel without a pair of its own takes V from the pair before it, or 128 when there is
  // none; taking a byte of the next row instead would change its colour.
  const std::tuple<int, int, Bytes, Bytes> cases[] = {
      {2,
       2,
       {16, 128, 235, 128, 81, 90, 126, 240},  // top: black, white; bottom: red, orange
       {0, 0, 254, 51, 52, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0}},
      {6,
       2,  // stride 20, not 18
       {16, 128, 235, 128, 141, 128, 141, 128, 41,  240, 41, 110,
        81, 90,  126, 240, 145, 54,  145, 34,  235, 128, 16, 128},
       {0, 0, 254, 51,  52,  255, 1,   255, 0,   1,   255, 0,   255, 255, 255, 0,   0, 0, 0, 0,
        0, 0, 0,   255, 255, 255, 145, 145, 145, 145, 145, 145, 255, 0,   0,   255, 0, 0, 0, 0}},
      {1, 2, {41, 240, 16, 0}, {0, 50, 0, 0, 255, 0, 29, 0}},
      {3,
       2,
       {81, 90, 126, 240, 81, 90, 16, 128, 235, 128, 16, 0},
       {0, 0, 0, 255, 255, 255, 0, 50, 0, 0, 0, 0, 0, 0, 254, 51, 52, 255, 0, 0, 254, 0, 0, 0}}};
  for (const auto& [width, height, source, expected] : cases) {
    EXPECT_EQ(convert(source, width, height), expected) << width << "x" << height;
  }
  for (auto [width, height] : {std::pair{0, 2}, {2, 0}, {-2, 2}, {2, -2}}) {
    EXPECT_EQ(convert(Bytes(64, 100), width, height), Bytes{});
  }
}

}  // namespace
}  // namespace kovracam
