#include "capture/virtual/virtual_capture_device.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "capture/virtual/virtual_controls.h"

namespace kovracam {
namespace {

// Cameras remember their settings by id for the process's life: one id per test camera.
VirtualCamera camera(const char* pattern, std::vector<CaptureFormat> formats) {
  static int serial = 0;
  return {"test" + std::to_string(++serial), "Test Camera", std::move(formats), pattern};
}

const CaptureFormat kYuy2{Subtype::YUY2, 320, 240, {30, 1}};
const CaptureFormat kRgb{Subtype::RGB24, 320, 240, {30, 1}};
const CaptureFormat kJpeg{Subtype::MJPG, 320, 240, {30, 1}};

TEST(VirtualCaptureDevice, NamesTheCameraAndMakesOnlyOfferedFormats) {
  const VirtualCamera c = camera("smpte", {kJpeg, kYuy2, kRgb});
  auto device = makeVirtualCaptureDevice(c);
  EXPECT_EQ(device->record().szDisplayName, "virtual:" + c.id);
  EXPECT_EQ(device->record().szFriendlyName, "Test Camera");
  EXPECT_EQ(device->record().szDevicePath, "virtual:" + c.id);
  EXPECT_EQ(device->offeredFormats(), c.formats);
  EXPECT_EQ(device->currentFormat(), kJpeg);
  EXPECT_TRUE(device->applyFormat(kRgb));
  EXPECT_FALSE(device->applyFormat({Subtype::YUY2, 320, 240, {15, 2}}));
  EXPECT_EQ(device->currentFormat(), kRgb);
  EXPECT_FALSE(makeVirtualCaptureDevice(camera("smpte", {}))->currentFormat().has_value());
  // No source for a format or a pattern it cannot make.
  EXPECT_EQ(device->createSource({Subtype::YUY2, 0, 240, {30, 1}}), nullptr);
  EXPECT_EQ(device->createSource({Subtype::YUY2, 320, 240, {0, 1}}), nullptr);
  EXPECT_EQ(makeVirtualCaptureDevice(camera("no-such-pattern", {kYuy2}))->createSource(kYuy2),
            nullptr);
}

struct Frame {
  std::vector<std::uint8_t> bytes;
  GstClockTime pts = 0, duration = 0;
};

// A source playing into an appsink; every pull waits five seconds at most.
class Playing {
 public:
  Playing(GstElement* source, bool dropOld)
      : pipeline_(gst_pipeline_new(nullptr)), sink_(gst_element_factory_make("appsink", nullptr)) {
    g_object_set(sink_, "max-buffers", dropOld ? 1u : 0u, "drop", dropOld, nullptr);
    gst_bin_add(GST_BIN(pipeline_), sink_);
    started_ = source != nullptr && gst_bin_add(GST_BIN(pipeline_), source) &&
               gst_element_link(source, sink_) &&
               gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  }
  ~Playing() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  bool started() const { return started_; }

  // The next frame; empty when none came in time.
  Frame pull() {
    Frame frame;
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 5 * GST_SECOND);
    if (sample == nullptr) return frame;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      frame.bytes.assign(map.data, map.data + map.size);
      gst_buffer_unmap(buffer, &map);
    }
    frame.pts = GST_BUFFER_PTS(buffer);
    frame.duration = GST_BUFFER_DURATION(buffer);
    gst_sample_unref(sample);
    return frame;
  }

 private:
  GstElement* pipeline_;
  GstElement* sink_;
  bool started_ = false;
};

// The first frame of `pattern` in `format`.
Frame firstFrame(const char* pattern, const CaptureFormat& format) {
  auto device = makeVirtualCaptureDevice(camera(pattern, {format}));
  Playing playing(device->createSource(format), true);
  EXPECT_TRUE(playing.started());
  return playing.pull();
}

TEST(VirtualCaptureFrames, EachFormatDeliversItsOwnBytes) {
  // Red in YUY2 is BT.601 studio range, Y0 U Y1 V.
  const Frame yuy2 = firstFrame("red", kYuy2);
  ASSERT_EQ(yuy2.bytes.size(), 320u * 240u * 2u);
  const double y = 16 + 219 * 0.299, u = 128 - 224 * 0.299 / 1.772, v = 128 + 224 * 0.701 / 1.402;
  const double expected[] = {y, u, y, v};
  for (std::size_t i = 0; i < yuy2.bytes.size(); ++i) {
    ASSERT_NEAR(yuy2.bytes[i], expected[i % 4], 2.0) << i;
  }
  // RGB24 is blue, green, red, as the window's conversion writes it.
  const Frame rgb = firstFrame("red", kRgb);
  ASSERT_EQ(rgb.bytes.size(), 320u * 240u * 3u);
  for (std::size_t i = 0; i < rgb.bytes.size(); ++i) {
    ASSERT_EQ(rgb.bytes[i], i % 3 == 2 ? 255 : 0) << i;
  }
  // MJPG frames are whole JPEG pictures: start and end of image.
  const Frame jpeg = firstFrame("smpte", kJpeg);
  ASSERT_GE(jpeg.bytes.size(), 4u);
  EXPECT_EQ(jpeg.bytes[0], 0xFF);
  EXPECT_EQ(jpeg.bytes[1], 0xD8);
  EXPECT_EQ(jpeg.bytes[jpeg.bytes.size() - 2], 0xFF);
  EXPECT_EQ(jpeg.bytes.back(), 0xD9);
}

TEST(VirtualCaptureFrames, FramesComeAtTheFormatsRate) {
  const CaptureFormat slow{Subtype::YUY2, 64, 48, {15, 2}};
  auto device = makeVirtualCaptureDevice(camera("ball", {slow}));
  Playing playing(device->createSource(slow), false);
  ASSERT_TRUE(playing.started());
  const Frame a = playing.pull();
  const Frame b = playing.pull();
  ASSERT_FALSE(a.bytes.empty() || b.bytes.empty());
  const GstClockTime period = gst_util_uint64_scale_int(GST_SECOND, slow.fps.den, slow.fps.num);
  EXPECT_EQ(a.duration, period);
  EXPECT_NEAR(static_cast<double>(b.pts - a.pts), static_cast<double>(period), 1.0);
  EXPECT_NE(a.bytes, b.bytes) << "the ball should move from one frame to the next";
}

double meanLuma(const Frame& frame) {
  double sum = 0;
  for (std::size_t i = 0; i < frame.bytes.size(); i += 2) sum += frame.bytes[i];
  return frame.bytes.empty() ? 0 : sum / (frame.bytes.size() / 2);
}

TEST(VirtualCaptureFrames, BrightnessRaisesTheLumaOfLiveFrames) {
  auto device = makeVirtualCaptureDevice(camera("red", {kYuy2}));
  GstElement* source = device->createSource(kYuy2);
  Playing playing(source, true);
  ASSERT_TRUE(playing.started());
  auto controls = device->openControls(source);
  const double before = meanLuma(playing.pull());
  ASSERT_GT(before, 0);
  ASSERT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 100), 0);
  // Frames that passed the balance before the change may still be queued: look a few further.
  double after = before;
  for (int i = 0; i < 10 && after <= before + 50; ++i) after = meanLuma(playing.pull());
  EXPECT_GT(after, before + 50);
}

}  // namespace
}  // namespace kovracam
