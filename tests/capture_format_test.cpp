#include "capture/device/capture_format.h"

#include <gtest/gtest.h>

namespace kovracam {
namespace {

// A previewable current format stays; otherwise the closest YUY2 size, then the closest RGB24
// (distance |dw| + |dh|, the first offered winning a tie), or none.
TEST(CaptureFormat, ChoosesThePreviewableFormatClosestToTheCurrent) {
  const auto fmt = [](Subtype s, int w, int h) { return CaptureFormat{s, w, h, {30, 1}}; };
  const CaptureFormat mjpg = fmt(Subtype::MJPG, 640, 480), rgb = fmt(Subtype::RGB24, 640, 480);
  const std::vector<CaptureFormat> offered = {
      fmt(Subtype::RGB24, 640, 480), fmt(Subtype::RGB24, 800, 600), fmt(Subtype::YUY2, 320, 240),
      fmt(Subtype::YUY2, 640, 400),  fmt(Subtype::YUY2, 720, 480),  fmt(Subtype::YUY2, 640, 560)};
  EXPECT_EQ(chooseCaptureFormat(rgb, {}), rgb);
  EXPECT_EQ(chooseCaptureFormat(fmt(Subtype::YUY2, 8, 8), offered), fmt(Subtype::YUY2, 8, 8));
  EXPECT_EQ(chooseCaptureFormat(mjpg, offered), offered[3]);
  EXPECT_EQ(chooseCaptureFormat(fmt(Subtype::I420, 1000, 600),
                                {offered[0], offered[1], fmt(Subtype::MJPG, 1000, 600)}),
            offered[1]);
  EXPECT_FALSE(chooseCaptureFormat(mjpg, {mjpg, fmt(Subtype::I420, 640, 480)}).has_value());
}

}  // namespace
}  // namespace kovracam
