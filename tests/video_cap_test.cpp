// The engine with virtual cameras and an empty fake kernel: what it builds, what it refuses, its
// snapshots and its release of the camera.

#include "capture/linux/video_cap.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <vector>

#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"

namespace kovracam {
namespace {

using testing::VirtualCameraEnv;
using Bytes = std::vector<std::uint8_t>;

class VideoCapTest : public ::testing::Test {
 protected:
  ~VideoCapTest() override { engine.TearDown(); }
  // Builds, renders, places and runs `camera` as the app does.
  void start(const std::string& camera) {
    ASSERT_EQ(engine.SelectDevice(camera), kOk);
    ASSERT_EQ(engine.BuildGraph(&width, &height), kOk);
    ASSERT_EQ(engine.RenderPreview(), kOk);
    ASSERT_EQ(engine.PlaceVideoWindow(&owner, width, height), kOk);
    ASSERT_EQ(engine.Run(), kOk);
  }
  // The brightness (b + g + r) of pixel (x, y) of the bottom-up snapshot, y from the top.
  int brightness(const Bytes& bits, int x, int y) {
    const std::uint8_t* p = bits.data() + (height - 1 - y) * rgb24Stride(width) + x * 3;
    return p[0] + p[1] + p[2];
  }

  FakeV4l2Io io;
  CVideoCap engine{io};
  testing::ModalBoxCloser boxes;
  QWidget owner;
  int width = -1, height = -1;
};

TEST_F(VideoCapTest, WithoutAGraphNothingChangesAndNothingWaits) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 320x240@30; powerline=none\n");
  EXPECT_TRUE(engine.Stop() == kOk && engine.Run() == kOk &&
              engine.PlaceVideoWindow(&owner, 640, 480) == kOk);
  EXPECT_TRUE(engine.videoWindow() == nullptr && engine.GetPowerLineFrequency() == -1);
  Bytes bits(640 * 480 * 3);
  EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);  // refused at once
  EXPECT_EQ(engine.SelectDevice("virtual:gone"), kDeviceNotFound);
  EXPECT_EQ(engine.BuildGraph(&width, &height), kNotBound);
  EXPECT_TRUE(!engine.hasGraph() && width == -1);
  // A camera without the power-line control reads -1 and ignores a setting.
  start("virtual:a");
  engine.SetPowerLineFrequency(kPowerLine50Hz);
  EXPECT_EQ(engine.GetPowerLineFrequency(), -1);
  // The frame callback interface is the only one answered, and the engine is never counted.
  void* answer = &boxes;
  EXPECT_EQ(engine.QueryInterface(InterfaceId::SampleGrabberCB, nullptr), kPointer);
  EXPECT_TRUE(engine.QueryInterface(InterfaceId::Other, &answer) == kNoInterface &&
              answer == &boxes);
  EXPECT_TRUE(engine.QueryInterface(InterfaceId::Unknown, &answer) == kOk && answer == &engine);
  EXPECT_EQ(engine.AddRef() + engine.Release(), 1u);
  EXPECT_EQ(engine.SampleCB(0.0, nullptr), kFalse);
}

// Snapshots are the camera's colours, the right way up, in 24-bit rows padded to four bytes; the
// bars pattern is light grey at its top-left and dark at its bottom-left.
TEST_F(VideoCapTest, SnapshotsAreUprightInTheCamerasColours) {
  for (const char* format : {"YUY2 320x240@30", "RGB24 322x240@30"}) {
    SCOPED_TRACE(format);
    for (const char* pattern : {"red", "smpte"}) {
      VirtualCameraEnv cams(std::string("id=c; name=C; formats=") + format +
                            "; pattern=" + pattern);
      start("virtual:c");
      Bytes bits(rgb24Stride(width) * height);
      ASSERT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 1);
      if (pattern[0] == 'r') {
        for (auto [x, y] : {std::pair{0, 0}, {width - 1, height - 1}}) {
          const std::uint8_t* p = bits.data() + (height - 1 - y) * rgb24Stride(width) + x * 3;
          EXPECT_TRUE(p[0] < 20 && p[1] < 20 && p[2] > 240) << x << "," << y;
        }
      } else {
        EXPECT_GT(brightness(bits, 2, 2), 450) << "top-left is not the light bar";
        EXPECT_LT(brightness(bits, 2, height - 3), 300) << "bottom-left is not dark";
      }
      bits.pop_back();  // too small a block is refused without waiting
      EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);
      engine.Stop();
      const auto started = std::chrono::steady_clock::now();
      EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size() + 1), 0);  // stopped: refused at once
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
      engine.TearDown();
    }
  }
}

// A source that fails while negotiating posts its error and then ends its stream, and the end
// lets the graph reach playing as if it had started: the error still fails the start.
TEST_F(VideoCapTest, ACameraThatReportedAnErrorFailsTheStart) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 160x120@30\n");
  ASSERT_EQ(engine.SelectDevice("virtual:a"), kOk);
  ASSERT_EQ(engine.BuildGraph(&width, &height), kOk);
  ASSERT_EQ(engine.RenderPreview(), kOk);
  testing::postGraphError(kCaptureFilterName, GST_RESOURCE_ERROR_BUSY, "busy");
  EXPECT_TRUE(engine.Run() == kDeviceUnavailable && !engine.isRunning());
}

TEST_F(VideoCapTest, TearDownReleasesTheGraphTheWindowAndTheDevice) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 160x120@30; pattern=red\n");
  start("virtual:a");
  EXPECT_TRUE(engine.videoWindow()->parentWidget() == &owner &&
              engine.videoWindow()->geometry() == QRect(0, 50, 160, 120));
  // Negative sizes from a minimised frame mean an empty window.
  EXPECT_EQ(engine.PlaceVideoWindow(&owner, -5, -75), kOk);
  EXPECT_EQ(engine.videoWindow()->size(), QSize(0, 0));
  g_autoptr(GstElement) graph = testing::capturePipeline();
  engine.Stop();
  engine.TearDown();
  EXPECT_FALSE(engine.hasGraph() || engine.hasMoniker() || engine.videoWindow());
  EXPECT_TRUE(owner.findChildren<QWidget*>().isEmpty());
  // Only ours is left, once GStreamer's own threads have let go of it: they may for a moment
  // after the state change returns.
  EXPECT_TRUE(testing::processEventsUntil([&] { return GST_OBJECT_REFCOUNT_VALUE(graph) == 1; },
                                          std::chrono::seconds(2)))
      << GST_OBJECT_REFCOUNT_VALUE(graph) << " references";
  GstState state;
  gst_element_get_state(graph, &state, nullptr, 0);
  EXPECT_EQ(state, GST_STATE_NULL);
}

}  // namespace
}  // namespace kovracam
