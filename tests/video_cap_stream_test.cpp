// The engine with live virtual cameras: frames counted, snapshots the right colour and the right
// way up, the camera's controls reachable.

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QWidget>
#include <vector>

#include "capture/frame_stats.h"
#include "capture/video_cap.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"

namespace kovracam {
namespace {

using testing::processEventsUntil;
using testing::VirtualCameraEnv;

struct Bgr {
  int b, g, r;
};

// Pixel (x, y) of a bottom-up 24-bit picture, y counted from the top of the picture.
Bgr pixelAt(const std::vector<std::uint8_t>& bits, int width, int height, int x, int y) {
  const std::size_t row = static_cast<std::size_t>(height - 1 - y) * rgb24Stride(width);
  const std::uint8_t* p = bits.data() + row + static_cast<std::size_t>(x) * 3;
  return {p[0], p[1], p[2]};
}

class RunningCamera : public ::testing::Test {
 protected:
  void start(const std::string& line) {
    cams = std::make_unique<VirtualCameraEnv>(line);
    engine.Prepare();
    ASSERT_EQ(engine.SelectDevice("virtual:cam"), kOk);
    ASSERT_EQ(engine.BuildGraph(&width, &height), kOk);
    ASSERT_EQ(engine.RenderPreview(), kOk);
    ASSERT_EQ(engine.PlaceVideoWindow(&owner, width, height), kOk);
    ASSERT_EQ(engine.Run(), kOk);
  }
  std::vector<std::uint8_t> snapshot() {
    std::vector<std::uint8_t> bits(rgb24Stride(width) * static_cast<std::size_t>(height));
    EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 1);
    return bits;
  }
  void TearDown() override {
    engine.Stop();
    engine.TearDown();
  }

  std::unique_ptr<VirtualCameraEnv> cams;
  FakeV4l2Io io;
  CVideoCap engine{io};
  QWidget owner;
  int width = 0;
  int height = 0;
};

TEST_F(RunningCamera, RedYuy2CameraGivesRedSnapshots) {
  start("id=cam; name=C; formats=YUY2 320x240@30; pattern=red\n");
  const auto bits = snapshot();
  for (auto [x, y] : {std::pair{0, 0}, {319, 239}, {160, 120}}) {
    const Bgr p = pixelAt(bits, width, height, x, y);
    EXPECT_GT(p.r, 240);
    EXPECT_LT(p.g, 20);
    EXPECT_LT(p.b, 20);
  }
}

TEST_F(RunningCamera, RedRgb24CameraGivesRedSnapshots) {
  start("id=cam; name=C; formats=RGB24 322x240@30; pattern=red\n");
  EXPECT_EQ(engine.pixelFormat(), kPixelRGB24);
  const auto bits = snapshot();
  for (auto [x, y] : {std::pair{0, 0}, {321, 239}}) {
    const Bgr p = pixelAt(bits, width, height, x, y);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
  }
}

// The bars pattern is light grey at its top-left and dark at its bottom-left.
void expectUpright(const std::vector<std::uint8_t>& bits, int width, int height) {
  const Bgr top = pixelAt(bits, width, height, 2, 2);
  const Bgr bottom = pixelAt(bits, width, height, 2, height - 3);
  EXPECT_GT(top.r + top.g + top.b, 450) << "top-left is not the light bar";
  EXPECT_LT(bottom.r + bottom.g + bottom.b, 300) << "bottom-left is not dark";
}

TEST_F(RunningCamera, Yuy2SnapshotIsTheRightWayUp) {
  start("id=cam; name=C; formats=YUY2 320x240@30; pattern=smpte\n");
  expectUpright(snapshot(), width, height);
}

TEST_F(RunningCamera, Rgb24SnapshotIsTheRightWayUp) {
  start("id=cam; name=C; formats=RGB24 320x240@30; pattern=smpte\n");
  expectUpright(snapshot(), width, height);
}

TEST_F(RunningCamera, TooSmallABlockIsRefusedWithoutWaiting) {
  start("id=cam; name=C; formats=YUY2 320x240@30\n");
  std::vector<std::uint8_t> bits(rgb24Stride(width) * 240 - 1);
  EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);
}

TEST_F(RunningCamera, FramesAreCountedAndPainted) {
  start("id=cam; name=C; formats=YUY2 320x240@30; pattern=ball\n");
  const std::uint64_t start = frame_stats::produced.load();
  ASSERT_TRUE(processEventsUntil([&] { return frame_stats::produced.load() - start >= 10; }));
  double rate = -1;
  EXPECT_EQ(engine.GetFrameRate(&rate), kOk);
  EXPECT_GT(rate, 0.0);
  ASSERT_NE(engine.videoWindow(), nullptr);
}

TEST_F(RunningCamera, StoppedGraphRefusesSnapshotsAtOnce) {
  start("id=cam; name=C; formats=YUY2 320x240@30\n");
  engine.Stop();
  std::vector<std::uint8_t> bits(rgb24Stride(width) * 240);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
}

TEST_F(RunningCamera, PowerLineFrequencyReadsBackWhatWasSet) {
  start("id=cam; name=C; formats=YUY2 320x240@30; powerline=60\n");
  EXPECT_EQ(engine.GetPowerLineFrequency(), kPowerLine60Hz);
  engine.SetPowerLineFrequency(kPowerLine50Hz);
  EXPECT_EQ(engine.GetPowerLineFrequency(), kPowerLine50Hz);
}

TEST_F(RunningCamera, CameraWithoutPowerLineControlReadsMinusOne) {
  start("id=cam; name=C; formats=YUY2 320x240@30; powerline=none\n");
  EXPECT_EQ(engine.GetPowerLineFrequency(), -1);
  engine.SetPowerLineFrequency(kPowerLine50Hz);
  EXPECT_EQ(engine.GetPowerLineFrequency(), -1);
}

TEST_F(RunningCamera, CameraThatFailsMidStreamStopsThePreviewHarmlessly) {
  start("id=cam; name=C; formats=YUY2 320x240@30\n");
  // What a camera pulled out mid-stream looks like to the pipeline.
  GstElement* graph = testing::capturePipeline();
  GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "gone");
  gst_element_post_message(graph, gst_message_new_error(GST_OBJECT(graph), error, "unplugged"));
  g_error_free(error);
  ASSERT_TRUE(processEventsUntil([&] { return !engine.isRunning(); }));
  GstState state;
  gst_element_get_state(graph, &state, nullptr, 0);
  EXPECT_EQ(state, GST_STATE_NULL);
  std::vector<std::uint8_t> bits(rgb24Stride(width) * 240);
  EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);
  double rate = -1;
  engine.GetFrameRate(&rate);
  EXPECT_GE(rate, 0.0);
}

}  // namespace
}  // namespace kovracam
