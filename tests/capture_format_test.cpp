#include "capture/device/capture_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace kovracam {
namespace {

CaptureFormat fmt(Subtype s, int w, int h, FrameRate fps = {30, 1}) { return {s, w, h, fps}; }

TEST(CaptureFormatNames, SubtypeNamesRoundTrip) {
  for (Subtype s : {Subtype::YUY2, Subtype::RGB24, Subtype::MJPG, Subtype::I420}) {
    EXPECT_EQ(subtypeFromName(subtypeName(s)), s) << subtypeName(s);
  }
  EXPECT_STREQ(subtypeName(Subtype::RGB24), "RGB24");
  EXPECT_FALSE(subtypeFromName("yuy2").has_value());
  EXPECT_FALSE(subtypeFromName("").has_value());
  EXPECT_FALSE(subtypeFromName("NV12").has_value());
}

TEST(CaptureFormatNames, OnlyYuy2AndRgb24HaveAPixelFormat) {
  EXPECT_EQ(pixelFormatOf(Subtype::YUY2), kPixelYUY2);
  EXPECT_EQ(pixelFormatOf(Subtype::RGB24), kPixelRGB24);
  EXPECT_EQ(pixelFormatOf(Subtype::MJPG), kPixelNone);
  EXPECT_EQ(pixelFormatOf(Subtype::I420), kPixelNone);
}

TEST(CaptureFormatNames, DescribeWritesRatesAsShortDecimals) {
  EXPECT_EQ(describe(fmt(Subtype::YUY2, 640, 480)), "YUY2 640x480@30");
  EXPECT_EQ(describe(fmt(Subtype::RGB24, 320, 240, {15, 2})), "RGB24 320x240@7.5");
  EXPECT_EQ(describe(fmt(Subtype::MJPG, 1920, 1080, {2997, 100})), "MJPG 1920x1080@29.97");
  EXPECT_EQ(describe(fmt(Subtype::I420, 8, 8, {30000, 1001})), "I420 8x8@29.97");
  EXPECT_EQ(describe(fmt(Subtype::YUY2, 8, 8, {60, 2})), "YUY2 8x8@30");
}

TEST(ChooseCaptureFormat, KeepsAPreviewableCurrentFormat) {
  const std::vector<CaptureFormat> offered = {fmt(Subtype::YUY2, 320, 240)};
  const CaptureFormat yuy2 = fmt(Subtype::YUY2, 1280, 720, {15, 2});
  const CaptureFormat rgb = fmt(Subtype::RGB24, 640, 480);
  EXPECT_EQ(chooseCaptureFormat(yuy2, offered), yuy2);
  EXPECT_EQ(chooseCaptureFormat(rgb, offered), rgb);
  EXPECT_EQ(chooseCaptureFormat(rgb, {}), rgb);
}

TEST(ChooseCaptureFormat, PrefersTheClosestYuy2ToACompressedCurrent) {
  const CaptureFormat current = fmt(Subtype::MJPG, 1280, 720);
  const std::vector<CaptureFormat> offered = {
      fmt(Subtype::RGB24, 1280, 720),  // exact size, but YUY2 comes first
      fmt(Subtype::YUY2, 320, 240),    // distance 960 + 480
      fmt(Subtype::YUY2, 1920, 1080),  // distance 640 + 360
      fmt(Subtype::YUY2, 640, 480),    // distance 640 + 240: the closest
      fmt(Subtype::MJPG, 1280, 720),
  };
  EXPECT_EQ(chooseCaptureFormat(current, offered), offered[3]);
}

TEST(ChooseCaptureFormat, TheFirstOfferedWinsATie) {
  const CaptureFormat current = fmt(Subtype::I420, 640, 480);
  const std::vector<CaptureFormat> offered = {
      fmt(Subtype::YUY2, 640, 400, {15, 1}),  // distance 80
      fmt(Subtype::YUY2, 720, 480, {30, 1}),  // distance 80 as well
      fmt(Subtype::YUY2, 560, 480, {5, 1}),   // distance 80 as well
  };
  EXPECT_EQ(chooseCaptureFormat(current, offered), offered[0]);
}

TEST(ChooseCaptureFormat, FallsBackToTheClosestRgb24) {
  const CaptureFormat current = fmt(Subtype::MJPG, 800, 600);
  const std::vector<CaptureFormat> offered = {
      fmt(Subtype::MJPG, 800, 600),
      fmt(Subtype::RGB24, 160, 120),
      fmt(Subtype::RGB24, 1024, 768),
      fmt(Subtype::I420, 800, 600),
  };
  EXPECT_EQ(chooseCaptureFormat(current, offered), offered[2]);
}

TEST(ChooseCaptureFormat, NothingPreviewableMeansNoFormat) {
  const CaptureFormat current = fmt(Subtype::MJPG, 640, 480);
  EXPECT_FALSE(chooseCaptureFormat(current, {}).has_value());
  EXPECT_FALSE(
      chooseCaptureFormat(current, {fmt(Subtype::MJPG, 640, 480), fmt(Subtype::I420, 640, 480)})
          .has_value());
}

}  // namespace
}  // namespace kovracam
