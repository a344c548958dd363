#include "capture/virtual_capture_device.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <vector>

#include "capture/virtual_controls.h"

namespace kovracam {
namespace {

constexpr GstClockTime kPullTimeout = 5 * GST_SECOND;

VirtualCamera camera(const std::string& pattern, std::vector<CaptureFormat> formats,
                     PowerLineSetting powerline = PowerLineSetting::Hz50) {
  static int serial = 0;  // cameras remember their settings by id: one id per test camera
  VirtualCamera c;
  c.id = "test" + std::to_string(++serial);
  c.name = "Test Camera";
  c.formats = std::move(formats);
  c.pattern = pattern;
  c.powerline = powerline;
  return c;
}

const CaptureFormat kYuy2{Subtype::YUY2, 320, 240, {30, 1}};
const CaptureFormat kRgb{Subtype::RGB24, 320, 240, {30, 1}};
const CaptureFormat kJpeg{Subtype::MJPG, 320, 240, {30, 1}};

TEST(VirtualCaptureDevice, RecordNamesTheCamera) {
  const VirtualCamera c = camera("red", {kYuy2});
  const DeviceRecord r = virtualDeviceRecord(c);
  EXPECT_EQ(r.szDisplayName, "virtual:" + c.id);
  EXPECT_EQ(r.szFriendlyName, "Test Camera");
  EXPECT_EQ(r.szDevicePath, "virtual:" + c.id);
  EXPECT_EQ(makeVirtualCaptureDevice(c)->record().szDisplayName, "virtual:" + c.id);
}

TEST(VirtualCaptureDevice, FormatsStartAtTheFirstAndChangeOnlyToOfferedOnes) {
  const std::vector<CaptureFormat> formats = {kJpeg, kYuy2, kRgb};
  auto device = makeVirtualCaptureDevice(camera("smpte", formats));
  EXPECT_EQ(device->offeredFormats(), formats);
  EXPECT_EQ(device->currentFormat(), kJpeg);
  EXPECT_TRUE(device->applyFormat(kRgb));
  EXPECT_EQ(device->currentFormat(), kRgb);
  CaptureFormat other = kYuy2;
  other.fps = {15, 2};
  EXPECT_FALSE(device->applyFormat(other));
  EXPECT_EQ(device->currentFormat(), kRgb);
  EXPECT_FALSE(makeVirtualCaptureDevice(camera("smpte", {}))->currentFormat().has_value());
}

TEST(VirtualCaptureDevice, SourceIsANamedBinWithASrcPad) {
  auto device = makeVirtualCaptureDevice(camera("ball", {kYuy2}));
  for (const CaptureFormat& format : {kYuy2, kRgb, kJpeg}) {
    GstElement* source = device->createSource(format);
    ASSERT_NE(source, nullptr) << describe(format);
    EXPECT_TRUE(g_object_is_floating(source));
    gst_object_ref_sink(source);
    EXPECT_TRUE(GST_IS_BIN(source));
    gchar* name = gst_element_get_name(source);
    EXPECT_STREQ(name, kCaptureFilterName);
    g_free(name);
    GstPad* pad = gst_element_get_static_pad(source, "src");
    EXPECT_NE(pad, nullptr);
    if (pad != nullptr) gst_object_unref(pad);
    GstElement* balance = gst_bin_get_by_name(GST_BIN(source), kVirtualBalanceName);
    EXPECT_NE(balance, nullptr);
    if (balance != nullptr) gst_object_unref(balance);
    gst_object_unref(source);
  }
}

TEST(VirtualCaptureDevice, NoSourceForAnImpossibleFormatOrPattern) {
  auto device = makeVirtualCaptureDevice(camera("red", {kYuy2}));
  EXPECT_EQ(device->createSource({Subtype::YUY2, 0, 240, {30, 1}}), nullptr);
  EXPECT_EQ(device->createSource({Subtype::YUY2, 320, 240, {0, 1}}), nullptr);
  auto broken = makeVirtualCaptureDevice(camera("no-such-pattern", {kYuy2}));
  EXPECT_EQ(broken->createSource(kYuy2), nullptr);
}

// A source playing into an appsink; every pull is bounded by kPullTimeout.
class Playing {
 public:
  Playing(GstElement* source, bool dropOld) : source_(source) {
    pipeline_ = gst_pipeline_new(nullptr);
    sink_ = gst_element_factory_make("appsink", nullptr);
    g_object_set(sink_, "max-buffers", dropOld ? 1u : 0u, "drop", dropOld ? TRUE : FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline_), sink_);
    if (source == nullptr) return;
    gst_bin_add(GST_BIN(pipeline_), source);
    linked_ = gst_element_link(source, sink_) &&
              gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  }
  ~Playing() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  bool started() const { return linked_; }

  // Whether the source is live, as a camera is (the sink would call itself live whenever it
  // syncs, so the source's own pad is asked).
  bool sourceIsLive() {
    GstPad* pad = gst_element_get_static_pad(source_, "src");
    GstQuery* query = gst_query_new_latency();
    gboolean isLive = FALSE;
    if (gst_pad_query(pad, query)) gst_query_parse_latency(query, &isLive, nullptr, nullptr);
    gst_query_unref(query);
    gst_object_unref(pad);
    return isLive;
  }

  // The next frame's bytes; empty when none came in time.
  std::vector<std::uint8_t> pull(GstCaps** caps = nullptr, GstClockTime* duration = nullptr,
                                 GstClockTime* pts = nullptr) {
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), kPullTimeout);
    if (sample == nullptr) return {};
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    std::vector<std::uint8_t> bytes;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      bytes.assign(map.data, map.data + map.size);
      gst_buffer_unmap(buffer, &map);
    }
    if (caps != nullptr) *caps = gst_caps_ref(gst_sample_get_caps(sample));
    if (duration != nullptr) *duration = GST_BUFFER_DURATION(buffer);
    if (pts != nullptr) *pts = GST_BUFFER_PTS(buffer);
    gst_sample_unref(sample);
    return bytes;
  }

 private:
  GstElement* source_ = nullptr;  // owned by the pipeline
  GstElement* pipeline_ = nullptr;
  GstElement* sink_ = nullptr;
  bool linked_ = false;
};

std::string capsField(GstCaps* caps, const char* field) {
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  if (std::string(field) == "media") return gst_structure_get_name(s);
  const gchar* value = gst_structure_get_string(s, field);
  return value != nullptr ? value : "";
}

// BT.601 studio-range Y, Cb, Cr of an RGB colour given in 0..1.
std::array<double, 3> studioYuv(double r, double g, double b) {
  const double y = 0.299 * r + 0.587 * g + 0.114 * b;
  return {16 + 219 * y, 128 + 224 * (b - y) / 1.772, 128 + 224 * (r - y) / 1.402};
}

TEST(VirtualCaptureFrames, RedYuy2FramesAreRedInYuvTerms) {
  auto device = makeVirtualCaptureDevice(camera("red", {kYuy2}));
  Playing playing(device->createSource(kYuy2), true);
  ASSERT_TRUE(playing.started());
  GstCaps* caps = nullptr;
  const auto frame = playing.pull(&caps);
  ASSERT_EQ(frame.size(), 320u * 240u * 2u);
  EXPECT_EQ(capsField(caps, "format"), "YUY2");
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  int width = 0, height = 0, num = 0, den = 0;
  EXPECT_TRUE(gst_structure_get_int(s, "width", &width) && width == 320);
  EXPECT_TRUE(gst_structure_get_int(s, "height", &height) && height == 240);
  EXPECT_TRUE(gst_structure_get_fraction(s, "framerate", &num, &den) && num == 30 && den == 1);
  gst_caps_unref(caps);
  const auto expected = studioYuv(1, 0, 0);
  for (std::size_t i = 0; i < frame.size(); i += 4) {  // Y0 U Y1 V
    ASSERT_NEAR(frame[i], expected[0], 2.0) << i;
    ASSERT_NEAR(frame[i + 1], expected[1], 2.0) << i;
    ASSERT_NEAR(frame[i + 2], expected[0], 2.0) << i;
    ASSERT_NEAR(frame[i + 3], expected[2], 2.0) << i;
  }
}

TEST(VirtualCaptureFrames, Rgb24FramesAreInBlueGreenRedOrder) {
  auto device = makeVirtualCaptureDevice(camera("red", {kRgb}));
  Playing playing(device->createSource(kRgb), true);
  ASSERT_TRUE(playing.started());
  GstCaps* caps = nullptr;
  const auto frame = playing.pull(&caps);
  ASSERT_EQ(frame.size(), 320u * 240u * 3u);
  EXPECT_EQ(capsField(caps, "format"), "BGR");
  gst_caps_unref(caps);
  for (std::size_t i = 0; i < frame.size(); i += 3) {
    ASSERT_EQ(frame[i], 0) << i;
    ASSERT_EQ(frame[i + 1], 0) << i;
    ASSERT_EQ(frame[i + 2], 255) << i;
  }
}

TEST(VirtualCaptureFrames, MjpgFramesAreJpegPictures) {
  auto device = makeVirtualCaptureDevice(camera("smpte", {kJpeg}));
  Playing playing(device->createSource(kJpeg), true);
  ASSERT_TRUE(playing.started());
  GstCaps* caps = nullptr;
  const auto frame = playing.pull(&caps);
  ASSERT_GE(frame.size(), 4u);
  EXPECT_EQ(capsField(caps, "media"), "image/jpeg");
  gst_caps_unref(caps);
  EXPECT_EQ(frame[0], 0xFF);
  EXPECT_EQ(frame[1], 0xD8);  // start of image
  EXPECT_EQ(frame[frame.size() - 2], 0xFF);
  EXPECT_EQ(frame[frame.size() - 1], 0xD9);  // end of image
}

TEST(VirtualCaptureFrames, FramesComeAtTheFormatsRate) {
  const CaptureFormat slow{Subtype::YUY2, 64, 48, {15, 2}};
  auto device = makeVirtualCaptureDevice(camera("ball", {slow}));
  Playing playing(device->createSource(slow), false);
  ASSERT_TRUE(playing.started());
  GstClockTime duration = 0, first = 0, second = 0;
  const auto a = playing.pull(nullptr, &duration, &first);
  const auto b = playing.pull(nullptr, nullptr, &second);
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_TRUE(playing.sourceIsLive());
  const GstClockTime period = gst_util_uint64_scale_int(GST_SECOND, slow.fps.den, slow.fps.num);
  EXPECT_EQ(duration, period);
  EXPECT_NEAR(static_cast<double>(second - first), static_cast<double>(period), 1.0);
  EXPECT_NE(a, b) << "the ball should move from one frame to the next";
}

double meanLuma(const std::vector<std::uint8_t>& yuy2) {
  double sum = 0;
  for (std::size_t i = 0; i < yuy2.size(); i += 2) sum += yuy2[i];
  return yuy2.empty() ? 0 : sum / (yuy2.size() / 2);
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
