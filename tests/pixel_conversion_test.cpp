#include "capture/pixel_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace kovracam {
namespace {

constexpr int kLevels = 256;

// Rounds the other way round from ClampToByte: ceil(x - 0.5) sends an exact half down and
// anything above it up, so the two agree only if both are right.
int ExpectedByte(double x) {
  if (x <= 0.0) return 0;
  if (x >= 255.0) return 255;
  return static_cast<int>(std::ceil(x - 0.5));
}

double UnclampedBlue(int y, int u) { return 1.164 * (y - 16) + 2.018 * (u - 128); }
double UnclampedGreen(int y, int v, int u) {
  return (1.164 * (y - 16) - 0.813 * (v - 128)) - 0.391 * (u - 128);
}
double UnclampedRed(int y, int v) { return 1.164 * (y - 16) + 1.596 * (v - 128); }

struct Bgr {
  int b, g, r;
  bool operator==(const Bgr&) const = default;
};

Bgr ExpectedPixel(int y, int u, int v) {
  return {ExpectedByte(UnclampedBlue(y, u)), ExpectedByte(UnclampedGreen(y, v, u)),
          ExpectedByte(UnclampedRed(y, v))};
}

bool IsExactHalf(double x) { return x > 0.0 && x < 255.0 && x - std::floor(x) == 0.5; }

std::uint64_t Fnv1a64(std::uint64_t hash, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// Building the tables costs tens of milliseconds (more under sanitizers): build them once.
class PixelConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tables_ = new ConversionTables;
    BuildConversionTables(*tables_);
  }
  static void TearDownTestSuite() {
    delete tables_;
    tables_ = nullptr;
  }
  static const ConversionTables& tables() { return *tables_; }

 private:
  static ConversionTables* tables_;
};

ConversionTables* PixelConversionTest::tables_ = nullptr;

// ---- Rounding -------------------------------------------------------------------------------

TEST(ClampToByteTest, RoundsHalvesDownAndEverythingAboveUp) {
  EXPECT_EQ(ClampToByte(2.5), 2);
  EXPECT_EQ(ClampToByte(0.5), 0);
  EXPECT_EQ(ClampToByte(254.5), 254);
  EXPECT_EQ(ClampToByte(2.51), 3);
  EXPECT_EQ(ClampToByte(2.49), 2);
  EXPECT_EQ(ClampToByte(std::nextafter(2.5, 3.0)), 3);
  EXPECT_EQ(ClampToByte(7.0), 7);
}

TEST(ClampToByteTest, ClampsOutsideTheByteRange) {
  EXPECT_EQ(ClampToByte(-0.2), 0);
  EXPECT_EQ(ClampToByte(-1000.0), 0);
  EXPECT_EQ(ClampToByte(0.0), 0);
  EXPECT_EQ(ClampToByte(255.0), 255);
  EXPECT_EQ(ClampToByte(255.4), 255);
  EXPECT_EQ(ClampToByte(1e9), 255);
  EXPECT_EQ(ClampToByte(std::nan("")), 0);
}

// ---- Tables ---------------------------------------------------------------------------------

TEST_F(PixelConversionTest, BlueAndRedTablesMatchTheFormulasEverywhere) {
  int wrongBlue = 0;
  int wrongRed = 0;
  for (int y = 0; y < kLevels; ++y) {
    for (int c = 0; c < kLevels; ++c) {
      wrongBlue += tables().blue(y, c) != ExpectedByte(UnclampedBlue(y, c));
      wrongRed += tables().red(y, c) != ExpectedByte(UnclampedRed(y, c));
    }
  }
  EXPECT_EQ(wrongBlue, 0);
  EXPECT_EQ(wrongRed, 0);
}

TEST_F(PixelConversionTest, GreenTableMatchesTheFormulaEverywhere) {
  int wrong = 0;
  for (int y = 0; y < kLevels; ++y) {
    for (int v = 0; v < kLevels; ++v) {
      for (int u = 0; u < kLevels; ++u) {
        const int expected = ExpectedByte(UnclampedGreen(y, v, u));
        if (tables().green(y, v, u) != expected && ++wrong <= 5) {
          ADD_FAILURE() << "green Y=" << y << " V=" << v << " U=" << u << " is "
                        << int{tables().green(y, v, u)} << ", expected " << expected;
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(PixelConversionTest, KnownColoursAndClamps) {
  auto pixel = [](int y, int u, int v) {
    return Bgr{tables().blue(y, u), tables().green(y, v, u), tables().red(y, v)};
  };
  EXPECT_EQ(pixel(16, 128, 128), (Bgr{0, 0, 0}));         // black
  EXPECT_EQ(pixel(235, 128, 128), (Bgr{255, 255, 255}));  // white: 1.164 * 219 = 254.916
  EXPECT_EQ(pixel(0, 128, 128), (Bgr{0, 0, 0}));          // 1.164 * -16 clamps to 0
  EXPECT_EQ(tables().red(255, 255), 255);                 // 278.196 + 202.692 clamps to 255
  EXPECT_EQ(tables().blue(255, 255), 255);
  EXPECT_EQ(tables().blue(0, 0), 0);
  EXPECT_EQ(tables().green(255, 0, 0), 255);
  EXPECT_EQ(tables().green(0, 255, 255), 0);
}

TEST_F(PixelConversionTest, ExactHalvesInTheTablesRoundDown) {
  // 1.164 * 125 is exactly 145.5 in double, so mid grey Y=141 sits on a rounding edge.
  ASSERT_EQ(1.164 * 125, 145.5);
  EXPECT_EQ(tables().blue(141, 128), 145);
  EXPECT_EQ(tables().green(141, 128, 128), 145);
  EXPECT_EQ(tables().red(141, 128), 145);

  // Every entry whose exact double value ends in .5 must have been rounded down.
  int halves = 0;
  int roundedUp = 0;
  auto check = [&](double x, int entry) {
    if (IsExactHalf(x)) {
      ++halves;
      roundedUp += entry != static_cast<int>(std::floor(x));
    }
  };
  for (int y = 0; y < kLevels; ++y) {
    for (int c = 0; c < kLevels; ++c) {
      check(UnclampedBlue(y, c), tables().blue(y, c));
      check(UnclampedRed(y, c), tables().red(y, c));
      for (int u = 0; u < kLevels; ++u) {
        check(UnclampedGreen(y, c, u), tables().green(y, c, u));
      }
    }
  }
  EXPECT_GT(halves, 0);
  EXPECT_EQ(roundedUp, 0) << "of " << halves << " entries on an exact half";
}

TEST_F(PixelConversionTest, TableContentsHashIsPinned) {
  // Pinned once from a build with -ffp-contract=off; any compiler or flag change that moves an
  // entry changes this hash.
  constexpr std::uint64_t kPinned = 0xad2c3d2a47e93b8bull;
  std::uint64_t hash = 0xcbf29ce484222325ull;
  hash = Fnv1a64(hash, tables().m_ppTableB.get(), kLevels * kLevels);
  hash = Fnv1a64(hash, tables().m_pppTableG.get(), kLevels * kLevels * kLevels);
  hash = Fnv1a64(hash, tables().m_ppTableR.get(), kLevels * kLevels);
  EXPECT_EQ(hash, kPinned) << std::hex << "hash is 0x" << hash;
}

// ---- Conversion -----------------------------------------------------------------------------

constexpr std::size_t kGuardBytes = 16;
constexpr std::uint8_t kFill = 0xAA;

// Converts from a heap copy of exactly the source size, so a read past the last row trips the
// address sanitizer, into a buffer pre-filled with kFill and followed by guard bytes that must
// survive. Returns the picture bytes without the guard.
std::vector<std::uint8_t> Convert(const std::vector<std::uint8_t>& source, int width, int height,
                                  const ConversionTables& tables) {
  auto exactSource = std::make_unique<std::uint8_t[]>(source.size());
  std::copy(source.begin(), source.end(), exactSource.get());
  const std::size_t size = height > 0 && width > 0 ? height * rgb24Stride(width) : 0;
  std::vector<std::uint8_t> destination(size + kGuardBytes, kFill);
  ConvertYUY2ToRGB24(destination.data(), height, width, exactSource.get(), tables);
  for (std::size_t i = size; i < destination.size(); ++i) {
    EXPECT_EQ(destination[i], kFill) << "written " << i - size << " bytes past the picture";
  }
  destination.resize(size);
  return destination;
}

// The last pixel of an odd row takes V from the pair before it, or 128 when it stands alone.
std::vector<std::uint8_t> ReferenceConvert(const std::vector<std::uint8_t>& source, int width,
                                           int height) {
  const std::size_t stride = rgb24Stride(width);
  std::vector<std::uint8_t> out(height * stride, 0);
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* in = source.data() + static_cast<std::size_t>(row) * width * 2;
    std::uint8_t* dst = out.data() + (height - 1 - row) * stride;
    for (int x = 0; x < width; ++x) {
      const int pair = x / 2 * 4;
      const int v = pair + 3 < width * 2 ? in[pair + 3] : (pair >= 4 ? in[pair - 1] : 128);
      const Bgr p = ExpectedPixel(in[x * 2], in[pair + 1], v);
      dst[x * 3] = static_cast<std::uint8_t>(p.b);
      dst[x * 3 + 1] = static_cast<std::uint8_t>(p.g);
      dst[x * 3 + 2] = static_cast<std::uint8_t>(p.r);
    }
  }
  return out;
}

using Bytes = std::vector<std::uint8_t>;

// Hand-worked colours used below, as Y U V -> B G R:
//   16 128 128 -> 0 0 0;  235 128 128 -> 255 255 255;  141 128 128 -> 145 145 145 (145.5 down)
//   81 90 240 -> 0 0 254 (B 75.66-76.684, G 75.66-91.056+14.858=-0.538, R 75.66+178.752)
//   126 90 240 -> 51 52 255 (B 128.04-76.684=51.356, G 128.04-91.056+14.858=51.842, R 306.8)
//   41 240 110 -> 255 0 0 (B 29.1+226.016, G 29.1+14.634-43.792, R 29.1-28.728=0.372)
//   145 54 34 -> 1 255 0 (B 150.156-149.332=0.824, G 150.156+76.422+28.934, R 0.132)
//   41 240 128 -> 255 0 29 (R is yTerm alone, 29.1)
TEST_F(PixelConversionTest, TwoByTwoIsWrittenBottomUpWithPaddedRows) {
  const Bytes source = {16, 128, 235, 128,                  // top: black, white
                        81, 90,  126, 240};                 // bottom: red, orange
  const Bytes expected = {0, 0, 254, 51,  52,  255, 0, 0,   // bottom row first
                          0, 0, 0,   255, 255, 255, 0, 0};  // then the top row
  EXPECT_EQ(Convert(source, 2, 2, tables()), expected);
}

TEST_F(PixelConversionTest, SixWideRowsKeepTheirPadding) {
  const Bytes source = {16, 128, 235, 128, 141, 128, 141, 128, 41,  240, 41, 110,
                        81, 90,  126, 240, 145, 54,  145, 34,  235, 128, 16, 128};
  const Bytes expected = {0,   0,   254, 51,  52,  255, 1,   255, 0,   1,   255,
                          0,   255, 255, 255, 0,   0,   0,   0,   0,  // padding of the bottom row
                          0,   0,   0,   255, 255, 255, 145, 145, 145, 145, 145,
                          145, 255, 0,   0,   255, 0,   0,   0,   0};
  ASSERT_EQ(rgb24Stride(6), 20u);
  EXPECT_EQ(Convert(source, 6, 2, tables()), expected);
}

TEST_F(PixelConversionTest, OddWidthsStayInsideTheSourceRow) {
  // One pixel: only Y and U exist, so V is neutral.
  EXPECT_EQ(Convert({41, 240}, 1, 1, tables()), (Bytes{255, 0, 29, 0}));
  // Three pixels: the third borrows V=240 from the pair before it (with 128 its red would be 76).
  EXPECT_EQ(Convert({81, 90, 126, 240, 81, 90}, 3, 1, tables()),
            (Bytes{0, 0, 254, 51, 52, 255, 0, 0, 254, 0, 0, 0}));
  // Two rows of one pixel: the bottom row comes first.
  EXPECT_EQ(Convert({16, 128, 235, 128}, 1, 2, tables()), (Bytes{255, 255, 255, 0, 0, 0, 0, 0}));
}

TEST_F(PixelConversionTest, EmptySizesWriteNothing) {
  const Bytes source(64, 100);
  for (auto [width, height] : {std::pair{0, 2}, {2, 0}, {-2, 2}, {2, -2}, {0, 0}}) {
    std::vector<std::uint8_t> destination(kGuardBytes, kFill);
    ConvertYUY2ToRGB24(destination.data(), height, width, source.data(), tables());
    EXPECT_EQ(destination, Bytes(kGuardBytes, kFill)) << width << "x" << height;
  }
}

TEST_F(PixelConversionTest, MatchesPerPixelFormulasForManySizes) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int width = 1; width <= 9; ++width) {
    for (int height = 1; height <= 4; ++height) {
      Bytes source(static_cast<std::size_t>(width) * 2 * height);
      for (auto& b : source) b = static_cast<std::uint8_t>(byte(random));
      EXPECT_EQ(Convert(source, width, height, tables()), ReferenceConvert(source, width, height))
          << width << "x" << height;
    }
  }
}

TEST_F(PixelConversionTest, EachRowDependsOnlyOnItsOwnSourceRow) {
  // Converting a row alone, from a buffer that ends where the row ends, must give the same bytes
  // as converting it inside the frame; a read into the next row would make them differ.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int width : {1, 3, 5, 6}) {
    const int height = 3;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
    const std::size_t stride = rgb24Stride(width);
    Bytes source(rowBytes * height);
    for (auto& b : source) b = static_cast<std::uint8_t>(byte(random));
    const Bytes frame = Convert(source, width, height, tables());
    for (int row = 0; row < height; ++row) {
      const Bytes alone(source.begin() + row * rowBytes, source.begin() + (row + 1) * rowBytes);
      const std::size_t at = (height - 1 - row) * stride;
      EXPECT_EQ(Convert(alone, width, 1, tables()),
                Bytes(frame.begin() + at, frame.begin() + at + stride))
          << "width " << width << " row " << row;
    }
  }
}

}  // namespace
}  // namespace kovracam
