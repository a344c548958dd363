// Recording with live virtual cameras: a path that cannot be written fails the start, the wait
// for a file to be completed is bounded, and a file its writer could not complete is sealed.

#include <gtest/gtest.h>

#include <QWidget>
#include <atomic>
#include <cstring>
#include <fstream>

#include "capture/linux/avi_seal.h"
#include "capture/linux/frame_stats.h"
#include "capture/linux/recording_branch.h"
#include "capture/linux/video_cap.h"
#include "tests/avi_probe.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"

namespace kovracam {
namespace {

using namespace std::chrono_literals;
using testing::graphElement;
using testing::postGraphError;
using testing::processEventsUntil;

// Every way out of a recording is checked through the real window (tests/faults.md).
class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(engine.SelectDevice("virtual:cam"), kOk);
    ASSERT_EQ(engine.BuildGraph(&width, &height), kOk);
  }
  Status start() { return engine.StartFileCapture(file.string(), &owner, width, height); }
  void record(std::uint64_t frames) {
    const std::uint64_t start = frame_stats::produced.load();
    ASSERT_TRUE(processEventsUntil([&] { return frame_stats::produced.load() - start >= frames; }));
  }

  testing::VirtualCameraEnv cams{"id=cam; name=C; formats=YUY2 160x120@30\n"};
  testing::ScratchDirectory folder;
  std::filesystem::path file = folder.path() / "take.avi";
  FakeV4l2Io io;
  CVideoCap engine{io};
  QWidget owner;
  int width = 0, height = 0;
};

TEST_F(Recording, AFolderInTheFilesPlaceFailsTheStart) {
  std::filesystem::create_directory(file);
  EXPECT_EQ(start(), kAccessDenied);
  EXPECT_EQ(engine.recordingFailure(), "Is a directory");
}

// After the camera failed and its graph was built anew, a recording is again ended from the
// camera, so that the frames on their way to the file still reach it.
TEST_F(Recording, AfterACameraFailureTheNextRecordingIsAgainEndedFromTheCamera) {
  ASSERT_EQ(start(), kOk);
  record(3);
  postGraphError(kCaptureFilterName, GST_RESOURCE_ERROR_READ, "unplugged");
  ASSERT_TRUE(processEventsUntil([&] { return !engine.isRunning(); }));
  engine.TearDown();
  SetUp();
  ASSERT_EQ(start(), kOk);
  record(3);
  g_autoptr(GstElement) camera = graphElement(kCaptureFilterName);
  g_autoptr(GstPad) out = gst_element_get_static_pad(camera, "src");
  std::atomic<bool> ended{false};
  gst_pad_add_probe(
      out, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
      [](GstPad*, GstPadProbeInfo* info, gpointer flag) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS)
          static_cast<std::atomic<bool>*>(flag)->store(true);
        return GST_PAD_PROBE_OK;
      },
      &ended, nullptr);
  engine.Stop();
  EXPECT_TRUE(ended) << "the recording was ended behind the camera";
  EXPECT_TRUE(testing::isCompleteRecording(file));
}

// The wait for a file to be completed is bounded, and skipped when nothing can arrive.
TEST(RecordingBranchFinish, WaitsNoLongerThanItsBound) {
  testing::ScratchDirectory folder;
  g_autoptr(GstElement) idle = gst_parse_launch("videotestsrc ! tee name=t", nullptr);
  g_autoptr(GstElement) idleTee = gst_bin_get_by_name(GST_BIN(idle), "t");
  EXPECT_EQ(
      RecordingBranch(idle, idleTee, (folder.path() / "never.avi").string()).finish(nullptr, 5s),
      RecordingBranch::Finish::NotStreaming);
  g_autoptr(GstElement) pipeline =
      gst_parse_launch("videotestsrc is-live=true ! tee name=t", nullptr);
  g_autoptr(GstElement) tee = gst_bin_get_by_name(GST_BIN(pipeline), "t");
  RecordingBranch branch(pipeline, tee, (folder.path() / "stuck.avi").string());
  ASSERT_EQ(branch.open(nullptr), kOk);
  // A writer that never takes anything: the end-of-stream cannot reach it.
  g_autoptr(GstElement) writer = gst_bin_get_by_name(GST_BIN(pipeline), "File Writer");
  g_autoptr(GstPad) pad = gst_element_get_static_pad(writer, "sink");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM, nullptr, nullptr, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(branch.finish(nullptr, 300ms), RecordingBranch::Finish::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  // Asked again, it reports at once instead of waiting a second time.
  EXPECT_EQ(branch.finish(nullptr, 5s), RecordingBranch::Finish::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  gst_element_set_state(pipeline, GST_STATE_NULL);
}

// A writer stopped without the end of the stream and cut inside a frame, as a full disk leaves
// it: sealing keeps the whole frames, and the header counts them.
TEST(AviSeal, KeepsTheWholeFramesAndCountsThem) {
  testing::ScratchDirectory folder;
  const auto file = folder.path() / "cut.avi";
  g_autoptr(GstElement) pipeline = gst_parse_launch(
      ("videotestsrc is-live=true ! video/x-raw,format=YUY2,width=32,height=24,framerate=100/1 ! "
       "avimux ! filesink location=" +
       file.string())
          .c_str(),
      nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  std::error_code error;
  ASSERT_TRUE(processEventsUntil([&] { return std::filesystem::file_size(file, error) > 40000; }));
  gst_element_set_state(pipeline, GST_STATE_NULL);
  std::filesystem::resize_file(file, std::filesystem::file_size(file) - 700);
  const auto frames = sealAviFile(file.string());
  ASSERT_TRUE(frames && *frames >= 20u) << frames.value_or(0);
  const auto fields = testing::probeVideo(file);
  EXPECT_EQ(fields.at("nb_frames") + " " + fields.at("nb_read_frames"),
            std::to_string(*frames) + " " + std::to_string(*frames));
  // The counts ffprobe does not read: the main header's frames, the RIFF and movi sizes.
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  const auto le32 = [&](std::size_t at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
  };
  const std::size_t avih = bytes.find("avih"), movi = bytes.find("movi");
  ASSERT_TRUE(avih != std::string::npos && movi != std::string::npos);
  // The list's size counts from its type.
  EXPECT_EQ(std::tuple(le32(avih + 8 + 16), le32(4), le32(movi - 4)),
            std::tuple(*frames, bytes.size() - 8, bytes.size() - movi));
  // Anything else is left as it is.
  std::ofstream(folder.path() / "x.avi") << std::string("RIFF\x10\0\0\0WAVEfmt ", 16);
  EXPECT_TRUE(!sealAviFile((folder.path() / "x.avi").string()) &&
              std::filesystem::file_size(folder.path() / "x.avi") == 16u);
  EXPECT_EQ(sealAviFile((folder.path() / "absent.avi").string()), std::nullopt);
}

}  // namespace
}  // namespace kovracam
