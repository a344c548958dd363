#include "capture/pixel/picture_balance.h"

#include <gtest/gtest.h>

#include <vector>

namespace kovracam {
namespace {

TEST(PictureBalance, NeutralKeepsEveryValue) {
  const BalanceTables tables(PictureBalance{});
  for (int y = 0; y < 256; ++y) EXPECT_EQ(tables.luma(static_cast<std::uint8_t>(y)), y);
  std::uint8_t u = 0, v = 0;
  tables.chroma(90, 240, &u, &v);
  EXPECT_TRUE(u == 90 && v == 240) << +u << " " << +v;
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
