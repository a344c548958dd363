// The engine's graph states and statuses, with virtual cameras and an empty fake kernel.

#include "capture/video_cap.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <vector>

#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"

namespace kovracam {
namespace {

using testing::VirtualCameraEnv;

class VideoCapTest : public ::testing::Test {
 protected:
  ~VideoCapTest() override { engine.TearDown(); }

  Status build(const std::string& displayName, int* w, int* h) {
    engine.SelectDevice(displayName);
    return engine.BuildGraph(w, h);
  }
  GstElement* element(const char* name) {
    GstElement* graph = testing::capturePipeline();
    GstElement* found = graph ? gst_bin_get_by_name(GST_BIN(graph), name) : nullptr;
    if (graph) gst_object_unref(graph);
    return found;
  }

  FakeV4l2Io io;
  CVideoCap engine{io};
  testing::ModalBoxCloser boxes;
};

TEST_F(VideoCapTest, OperationsWithoutAGraphChangeNothingAndSucceed) {
  QWidget owner;
  EXPECT_EQ(engine.Stop(), kOk);
  EXPECT_EQ(engine.Run(), kOk);
  EXPECT_EQ(engine.PlaceVideoWindow(&owner, 640, 480), kOk);
  engine.TearDown();
  EXPECT_FALSE(engine.hasGraph());
  EXPECT_EQ(engine.videoWindow(), nullptr);
  EXPECT_TRUE(owner.findChildren<QWidget*>().isEmpty());
  EXPECT_EQ(engine.GetPowerLineFrequency(), -1);
  std::vector<std::uint8_t> bits(640 * 480 * 3);
  EXPECT_EQ(engine.GetSnapshot(bits.data(), bits.size()), 0);  // refused at once
}

TEST_F(VideoCapTest, AnswersOnlyAsAFrameCallbackAndIsNeverCounted) {
  void* answer = &boxes;
  EXPECT_EQ(engine.QueryInterface(InterfaceId::SampleGrabberCB, nullptr), kPointer);
  EXPECT_EQ(engine.QueryInterface(InterfaceId::Other, &answer), kNoInterface);
  EXPECT_EQ(answer, &boxes);  // untouched
  EXPECT_EQ(engine.QueryInterface(InterfaceId::Unknown, &answer), kOk);
  EXPECT_EQ(answer, &engine);
  EXPECT_EQ(engine.AddRef(), 1u);
  EXPECT_EQ(engine.Release(), 0u);
  EXPECT_EQ(engine.SampleCB(0.0, nullptr), kFalse);
}

TEST_F(VideoCapTest, BuildWithoutABoundDeviceFailsWithoutBuilding) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 320x240@30\n");
  int w = -1, h = -1;
  ASSERT_EQ(engine.SelectDevice("virtual:a"), kOk);
  EXPECT_EQ(engine.SelectDevice("virtual:gone"), kDeviceNotFound);
  EXPECT_FALSE(engine.hasMoniker());
  EXPECT_EQ(engine.BuildGraph(&w, &h), kNotBound);
  EXPECT_FALSE(engine.hasGraph());
  EXPECT_EQ(w, -1);
}

TEST_F(VideoCapTest, BuildNamesTheSourceAndGrabberAndReportsTheSize) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 640x480@30, RGB24 320x240@15\n");
  int w = 0, h = 0;
  ASSERT_EQ(build("virtual:a", &w, &h), kOk);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(engine.pixelFormat(), kPixelYUY2);
  for (const char* name : {"Capture Filter", "Grab Filter"}) {
    GstElement* e = element(name);
    EXPECT_NE(e, nullptr) << name;
    if (e) gst_object_unref(e);
  }
}

TEST_F(VideoCapTest, CameraOfferingNeitherSubtypeIsRefusedWithTheNotice) {
  VirtualCameraEnv cams("id=m; name=M; formats=MJPG 640x480@30, I420 640x480@30\n");
  int w = -1, h = -1;
  EXPECT_EQ(build("virtual:m", &w, &h), kUnsupportedSubtype);
  EXPECT_EQ(boxes.seen, QStringList{"Error: This type is not support"});
  EXPECT_EQ(w, -1);
  engine.TearDown();
  EXPECT_FALSE(engine.hasGraph());
}

// The format each build settles on, for a camera built first (or after another camera).
TEST_F(VideoCapTest, BuildChoosesTheFormatItCanGrab) {
  struct Case {
    const char* cameras;
    const char* before;  // a camera built and torn down first, or nullptr
    int width, height, pixel;
  } const cases[] = {
      // An unsupported current format falls back to the closest offered YUY2 one.
      {"id=m; name=M; formats=MJPG 1280x720@30, YUY2 320x240@30, RGB24 1280x720@30, "
       "YUY2 1280x800@30\n",
       nullptr, 1280, 800, kPixelYUY2},
      // The previous camera's format, refused by this one, gives way to this one's own.
      {"id=s; name=S; formats=YUY2 320x240@30\nid=m; name=B; formats=RGB24 800x600@15\n",
       "virtual:s", 800, 600, kPixelRGB24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cameras);
    VirtualCameraEnv cams(c.cameras);
    CVideoCap fresh(io);
    int w = 0, h = 0;
    if (c.before) {
      fresh.SelectDevice(c.before);
      ASSERT_EQ(fresh.BuildGraph(&w, &h), kOk);
      fresh.TearDown();
    }
    fresh.SelectDevice("virtual:m");
    ASSERT_EQ(fresh.BuildGraph(&w, &h), kOk);
    EXPECT_EQ(QSize(w, h), QSize(c.width, c.height));
    EXPECT_EQ(fresh.pixelFormat(), c.pixel);
    EXPECT_TRUE(boxes.seen.isEmpty());
  }
}

TEST_F(VideoCapTest, StoredFormatIsReappliedAtTheNextBuild) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 640x480@30, YUY2 320x240@30\n");
  int w = 0, h = 0;
  ASSERT_EQ(build("virtual:a", &w, &h), kOk);
  ASSERT_TRUE(engine.storedFormat());
  EXPECT_EQ(engine.storedFormat()->width, 640);
  engine.TearDown();
  ASSERT_EQ(build("virtual:a", &w, &h), kOk);
  EXPECT_EQ(w, 640);
}

TEST_F(VideoCapTest, TearDownReleasesTheGraphTheWindowAndTheDevice) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 160x120@30; pattern=red\n");
  QWidget owner;
  int w = 0, h = 0;
  ASSERT_EQ(build("virtual:a", &w, &h), kOk);
  ASSERT_EQ(engine.RenderPreview(), kOk);
  ASSERT_EQ(engine.PlaceVideoWindow(&owner, w, h), kOk);
  ASSERT_NE(engine.videoWindow(), nullptr);
  EXPECT_EQ(engine.videoWindow()->parentWidget(), &owner);
  EXPECT_EQ(engine.videoWindow()->geometry(), QRect(0, 50, 160, 120));
  ASSERT_EQ(engine.Run(), kOk);

  GstElement* graph = testing::capturePipeline();
  engine.Stop();
  engine.TearDown();
  EXPECT_FALSE(engine.hasGraph());
  EXPECT_FALSE(engine.hasMoniker());
  EXPECT_EQ(engine.videoWindow(), nullptr);
  EXPECT_EQ(GST_OBJECT_REFCOUNT_VALUE(graph), 1);  // only ours is left
  GstState state;
  gst_element_get_state(graph, &state, nullptr, 0);
  EXPECT_EQ(state, GST_STATE_NULL);
  gst_object_unref(graph);
}

TEST_F(VideoCapTest, NegativeSizesFromAMinimisedFrameMeanAnEmptyWindow) {
  VirtualCameraEnv cams("id=a; name=A; formats=YUY2 160x120@30\n");
  QWidget owner;
  int w = 0, h = 0;
  ASSERT_EQ(build("virtual:a", &w, &h), kOk);
  ASSERT_EQ(engine.RenderPreview(), kOk);
  EXPECT_EQ(engine.PlaceVideoWindow(&owner, -5, -75), kOk);
  EXPECT_EQ(engine.videoWindow()->size(), QSize(0, 0));
}

}  // namespace
}  // namespace kovracam
