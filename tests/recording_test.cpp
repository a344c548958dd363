// Recording with live virtual cameras: every way out of a recording leaves a complete AVI file
// (the frame count in its header equals the frames in it), and a path that cannot be written
// fails the start.

#include <gtest/gtest.h>

#include <QWidget>
#include <filesystem>

#include "capture/frame_stats.h"
#include "capture/recording_branch.h"
#include "capture/video_cap.h"
#include "tests/avi_probe.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"

namespace kovracam {
namespace {

using testing::processEventsUntil;
using testing::ScratchDirectory;
using testing::VirtualCameraEnv;

class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine.SelectDevice("virtual:cam"), kOk);
    ASSERT_EQ(engine.BuildGraph(&width, &height), kOk);
  }
  Status start() { return engine.StartFileCapture(file.string(), &owner, width, height); }
  // Lets the camera run until the engine has seen `frames` frames.
  void record(std::uint64_t frames) {
    const std::uint64_t start = frame_stats::produced.load();
    ASSERT_TRUE(processEventsUntil([&] { return frame_stats::produced.load() - start >= frames; }));
  }
  void expectComplete(int atLeast) {
    const auto fields = testing::probeVideo(file);
    EXPECT_EQ(fields.at("codec_name"), "rawvideo");
    EXPECT_EQ(fields.at("width"), std::to_string(width));
    EXPECT_EQ(fields.at("height"), std::to_string(height));
    EXPECT_EQ(fields.at("nb_frames"), fields.at("nb_read_frames"));  // header = file
    EXPECT_GE(std::stoi(fields.at("nb_read_frames")), atLeast);
  }

  VirtualCameraEnv cams{"id=cam; name=C; formats=YUY2 160x120@30, RGB24 161x120@30\n"};
  ScratchDirectory folder;
  std::filesystem::path file = folder.path() / "take.avi";
  FakeV4l2Io io;
  CVideoCap engine{io};
  QWidget owner;
  int width = 0;
  int height = 0;
};

TEST_F(Recording, StopCompletesTheFile) {
  ASSERT_EQ(start(), kOk);
  EXPECT_TRUE(engine.isRecording());
  record(15);
  engine.Stop();
  expectComplete(15);
  EXPECT_EQ(testing::probeVideo(file).at("pix_fmt"),
            "yuyv422");  // stored as the camera delivers it
  engine.TearDown();
  EXPECT_FALSE(engine.isRecording());
}

TEST_F(Recording, TearDownWithoutStopCompletesTheFile) {
  ASSERT_EQ(start(), kOk);
  record(10);
  engine.TearDown();
  expectComplete(10);
}

TEST_F(Recording, ACameraFailingMidRecordingLeavesACompleteFile) {
  ASSERT_EQ(start(), kOk);
  record(10);
  GstElement* graph = testing::capturePipeline();
  GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "gone");
  gst_element_post_message(graph, gst_message_new_error(GST_OBJECT(graph), error, "unplugged"));
  g_error_free(error);
  gst_object_unref(graph);
  ASSERT_TRUE(processEventsUntil([&] { return !engine.isRunning(); }));
  expectComplete(10);
  engine.TearDown();
}

TEST_F(Recording, AWriteErrorIsReportedWithTheFileAndTheReason) {
  std::string failedPath, failedReason;
  engine.setRecordingFailedHandler([&](const std::string& path, const std::string& reason) {
    failedPath = path;
    failedReason = reason;
  });
  ASSERT_EQ(start(), kOk);
  record(5);
  GstElement* graph = testing::capturePipeline();
  GstElement* writer = gst_bin_get_by_name(GST_BIN(graph), "File Writer");
  gst_object_unref(graph);
  GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE, "write");
  gst_element_post_message(
      writer, gst_message_new_error(GST_OBJECT(writer), error,
                                    "gstfilesink.c(1): render: /File Writer:\nError while writing "
                                    "to file descriptor 9: File too large"));
  g_error_free(error);
  gst_object_unref(writer);
  ASSERT_TRUE(processEventsUntil([&] { return !failedPath.empty(); }));
  EXPECT_EQ(failedPath, file.string());
  EXPECT_EQ(failedReason, "File too large");
  EXPECT_TRUE(engine.isRunning());  // the preview is not the engine's to stop here
  const auto started = std::chrono::steady_clock::now();
  engine.Stop();  // no wait for a writer that failed
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_GE(std::stoi(testing::probeVideo(file).at("nb_read_frames")),
            1);  // what was written stays readable
}

TEST_F(Recording, APathThatCannotBeCreatedFailsTheStart) {
  file = folder.path() / "missing" / "take.avi";
  EXPECT_EQ(start(), kAccessDenied);
  EXPECT_EQ(engine.recordingFailure(), "No such file or directory");
  EXPECT_FALSE(engine.isRunning());
  EXPECT_FALSE(engine.isRecording());
  EXPECT_TRUE(engine.hasGraph());  // rendered and placed, not running
  EXPECT_NE(engine.videoWindow(), nullptr);
}

// The wait for a file to be completed is bounded, and skipped when nothing can arrive.
TEST(RecordingBranchFinish, WaitsNoLongerThanItsBound) {
  ScratchDirectory folder;
  GstElement* pipeline = gst_parse_launch("videotestsrc is-live=true ! tee name=t", nullptr);
  GstElement* tee = gst_bin_get_by_name(GST_BIN(pipeline), "t");
  GstElement* idle = gst_parse_launch("videotestsrc ! tee name=t", nullptr);
  GstElement* idleTee = gst_bin_get_by_name(GST_BIN(idle), "t");
  {
    RecordingBranch never(idle, idleTee, (folder.path() / "never.avi").string());
    EXPECT_EQ(never.finish(nullptr, std::chrono::seconds(5)),
              RecordingBranch::Finish::NotStreaming);
  }
  gst_object_unref(idleTee);
  gst_object_unref(idle);
  RecordingBranch branch(pipeline, tee, (folder.path() / "stuck.avi").string());
  ASSERT_EQ(branch.open(nullptr), kOk);
  // A writer that never takes anything: the end-of-stream cannot reach it.
  GstElement* writer = gst_bin_get_by_name(GST_BIN(pipeline), "File Writer");
  GstPad* pad = gst_element_get_static_pad(writer, "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, nullptr, nullptr, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(branch.finish(nullptr, std::chrono::milliseconds(300)),
            RecordingBranch::Finish::TimedOut);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(2));
  // Asked again, it reports at once instead of waiting a second time.
  EXPECT_EQ(branch.finish(nullptr, std::chrono::seconds(5)), RecordingBranch::Finish::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pad);
  gst_object_unref(writer);
  gst_object_unref(tee);
  gst_object_unref(pipeline);
}

}  // namespace
}  // namespace kovracam
