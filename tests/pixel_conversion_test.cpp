#include "capture/pixel/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "capture/pixel/picture_balance.h"

namespace kovracam {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Building the tables costs tens of milliseconds (more under sanitizers): build them once.
const ConversionTables& tables() {
  static const ConversionTables built = [] {
    ConversionTables t;
    BuildConversionTables(t);
    return t;
  }();
  return built;
}

TEST(PixelConversion, TablesMatchTheFormulasEverywhere) {
  // Rounds the other way round from ClampToByte: ceil(x - 0.5) sends an exact half down and
  // anything above it up, so the two agree only if both are right.
  int wrong = 0, halves = 0;
  auto check = [&](const char* table, int y, int c, int u, int entry, double x) {
    halves += x > 0.0 && x < 255.0 && x - std::floor(x) == 0.5;
    const int expected = x <= 0.0 ? 0 : x >= 255.0 ? 255 : static_cast<int>(std::ceil(x - 0.5));
    if (entry != expected && ++wrong <= 3)
      ADD_FAILURE() << table << " at " << y << "," << c << "," << u;
  };
  for (int y = 0; y < 256; ++y) {
    const double yTerm = 1.164 * (y - 16);
    for (int c = 0; c < 256; ++c) {
      check("blue", y, c, 0, tables().blue(y, c), yTerm + 2.018 * (c - 128));
      check("red", y, c, 0, tables().red(y, c), yTerm + 1.596 * (c - 128));
      for (int u = 0; u < 256; ++u) {
        check("green", y, c, u, tables().green(y, c, u),
              (yTerm - 0.813 * (c - 128)) - 0.391 * (u - 128));
      }
    }
  }
  EXPECT_TRUE(wrong == 0 && halves > 0) << wrong << " wrong, " << halves << " halves";
}

// Converts from a heap copy of exactly the source size (a read past it trips the address
// sanitizer) into a buffer whose 16 guard bytes past the picture must survive.
Bytes convert(const Bytes& source, int width, int height) {
  auto exactSource = std::make_unique<std::uint8_t[]>(source.size());
  std::copy(source.begin(), source.end(), exactSource.get());
  const std::size_t size = height > 0 && width > 0 ? height * rgb24Stride(width) : 0;
  // Guard bytes on both sides: nothing may be written outside the picture.
  Bytes destination(16 + size + 16, 0xAA);
  ConvertYUY2ToRGB24(destination.data() + 16, height, width, exactSource.get(), tables());
  EXPECT_EQ(Bytes(destination.begin(), destination.begin() + 16), Bytes(16, 0xAA)) << "underrun";
  EXPECT_EQ(Bytes(destination.end() - 16, destination.end()), Bytes(16, 0xAA)) << "overrun";
  return Bytes(destination.begin() + 16, destination.end() - 16);
}

// Y U V -> B G R, worked by hand: 16 128 128 -> black; 235 128 128 -> white; 81 90 240 -> 0 0 254;
// 126 90 240 -> 51 52 255; 41 240 128 -> 255 0 29; 16 0 128 -> 0 50 0.
TEST(PixelConversion, SmallFramesAreWrittenBottomUpWithZeroedPadding) {
  // A last pixel without a pair of its own takes V from the pair before it, or 128 when there is
  // none; taking a byte of the next row instead would change its colour.
  const std::tuple<int, int, Bytes, Bytes> cases[] = {
      {1, 2, {41, 240, 16, 0}, {0, 50, 0, 0, 255, 0, 29, 0}},
      {3,
       2,
       {81, 90, 126, 240, 81, 90, 16, 128, 235, 128, 16, 0},
       {0, 0, 0, 255, 255, 255, 0, 50, 0, 0, 0, 0, 0, 0, 254, 51, 52, 255, 0, 0, 254, 0, 0, 0}}};
  for (const auto& [width, height, source, expected] : cases)
    EXPECT_EQ(convert(source, width, height), expected) << width << "x" << height;
  for (auto [width, height] : {std::pair{0, 2}, {2, 0}, {-2, 2}, {2, -2}})
    EXPECT_EQ(convert(Bytes(64, 100), width, height), Bytes{});
}

TEST(PictureBalance, EachControlActsOnItsOwnPart) {
  EXPECT_EQ(BalanceTables({-100, 100, 0, 100}).luma(235), 0);  // white to black
  EXPECT_EQ(BalanceTables({0, 0, 0, 100}).luma(200), 16);      // no contrast: all black level
  std::uint8_t u = 0, v = 0;
  BalanceTables({0, 100, 0, 0}).chroma(90, 240, &u, &v);  // no saturation: grey
  EXPECT_TRUE(u == 128 && v == 128) << +u << " " << +v;
  BalanceTables({0, 100, 180, 100}).chroma(90, 240, &u, &v);  // half a turn: the opposite hue
  EXPECT_TRUE(u == 166 && v == 16) << +u << " " << +v;
}

TEST(PictureBalance, FramesOfEachLayout) {
  const BalanceTables darker({-100, 100, 0, 100});
  std::vector<std::uint8_t> yuy2{235, 128, 235, 128, 235, 128, 235, 128};
  ASSERT_TRUE(applyBalance(darker, {Subtype::YUY2, 4, 1, {}}, yuy2.data(), yuy2.size()));
  EXPECT_EQ(yuy2, (std::vector<std::uint8_t>{0, 128, 0, 128, 0, 128, 0, 128}));
  std::vector<std::uint8_t> rgb(8, 255);  // 2x1 white, rows padded to 8 bytes
  ASSERT_TRUE(applyBalance(darker, {Subtype::RGB24, 2, 1, {}}, rgb.data(), rgb.size()));
  EXPECT_EQ(rgb, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 255, 255}));
  EXPECT_FALSE(applyBalance(darker, {Subtype::RGB24, 2, 2, {}}, rgb.data(), rgb.size()));
}

}  // namespace
}  // namespace kovracam
