// A V4L2 node as a capture device: formats read through the fake kernel, and the source bin.

#include "capture/v4l2_capture_device.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <ostream>
#include <string>
#include <vector>

#include "capture/fake_v4l2_io.h"
#include "capture/v4l2_formats.h"

namespace kovracam {

// Readable failure messages; internal linkage keeps it out of other tests' way.
[[maybe_unused]] static void PrintTo(const CaptureFormat& format, std::ostream* out) {
  *out << describe(format) << " (" << format.fps.num << "/" << format.fps.den << ")";
}

namespace {

constexpr const char* kNode = "/dev/video0";

class V4l2CaptureDeviceTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureDevice> bind(FakeDevice camera) {
    io.addDevice(kNode, std::move(camera));
    return makeV4l2CaptureDevice(io, {"/dev/v4l/by-id/usb-Test-video-index0", "Test", kNode});
  }

  FakeV4l2Io io;
};

FakeFormat format(std::uint32_t pixelFormat, std::vector<FakeFrameSize> sizes) {
  return {pixelFormat, "", std::move(sizes), std::nullopt, {}};
}

TEST_F(V4l2CaptureDeviceTest, CurrentFormatComesFromGFmtAndGParm) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats.push_back(format(V4L2_PIX_FMT_BGR24, {{320, 240, {{2, 15}}}}));
  camera.formats.push_back(format(V4L2_PIX_FMT_NV12, {{320, 240, {{1, 30}}}}));
  auto device = bind(camera);
  EXPECT_EQ(device->record().szDevicePath, kNode);
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, {30, 1}}));

  FakeDevice& state = *io.device(kNode);
  state.pixelFormat = V4L2_PIX_FMT_BGR24;
  state.width = 320;
  state.height = 240;
  state.interval = {2, 15};
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::RGB24, 320, 240, {15, 2}}));
  state.pixelFormat = V4L2_PIX_FMT_MJPEG;
  EXPECT_EQ(device->currentFormat()->subtype, Subtype::MJPG);
  state.pixelFormat = V4L2_PIX_FMT_YUV420;
  EXPECT_EQ(device->currentFormat()->subtype, Subtype::I420);
  state.pixelFormat = V4L2_PIX_FMT_NV12;  // no Subtype stands for it
  EXPECT_EQ(device->currentFormat(), std::nullopt);
  EXPECT_EQ(io.openFdCount(), 0u);
}

TEST_F(V4l2CaptureDeviceTest, CurrentRateFallsBackToTheFirstListedInterval) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats[0].sizes[0].intervals = {{1, 15}, {1, 30}};
  auto device = bind(camera);
  io.failIoctl(kNode, VIDIOC_G_PARM, ENOTTY);
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, {15, 1}}));
  io.failIoctl(kNode, VIDIOC_ENUM_FRAMEINTERVALS, ENOTTY);
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, kUnknownFrameRate}));
}

TEST_F(V4l2CaptureDeviceTest, OffersEveryRepresentableFormatSizeAndRateInDriverOrder) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats = {
      format(V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}),
      format(V4L2_PIX_FMT_GREY, {{640, 480, {{1, 30}}}}),
      format(V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}, {1001, 30000}}}}),
      format(V4L2_PIX_FMT_BGR24, {{160, 120, {{2, 15}}}}),
      format(V4L2_PIX_FMT_YUV420, {{320, 240, {{333333, 10000000}, {1000, 25000}}}}),
  };
  auto device = bind(camera);
  const std::vector<CaptureFormat> expected = {
      {Subtype::YUY2, 640, 480, {30, 1}},
      {Subtype::YUY2, 640, 480, {15, 1}},
      {Subtype::YUY2, 320, 240, {30, 1}},
      {Subtype::MJPG, 1280, 720, {30, 1}},
      {Subtype::MJPG, 1280, 720, {30000, 1001}},
      {Subtype::RGB24, 160, 120, {15, 2}},
      {Subtype::I420, 320, 240, {10000000, 333333}},
      {Subtype::I420, 320, 240, {25, 1}},
  };
  EXPECT_EQ(device->offeredFormats(), expected);
  EXPECT_EQ(io.openFdCount(), 0u);
}

TEST_F(V4l2CaptureDeviceTest, SizeRangesOfferTheCommonSizesInside) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats = {format(V4L2_PIX_FMT_YUYV, {}), format(V4L2_PIX_FMT_MJPEG, {})};
  camera.formats[0].sizeRange = v4l2_frmsize_stepwise{320, 1280, 16, 240, 720, 16};
  camera.formats[0].rangeIntervals = {{1, 30}};
  camera.formats[1].sizeRange = v4l2_frmsize_stepwise{1000, 1100, 1, 1000, 1100, 1};
  camera.formats[1].rangeIntervals = {{1, 5}};
  auto device = bind(camera);
  // 800x600 is off the 16-line grid, 1024x768 and taller too tall; the MJPEG range holds no
  // common size and offers its largest.
  const std::vector<CaptureFormat> expected = {
      {Subtype::YUY2, 320, 240, {30, 1}},  {Subtype::YUY2, 352, 288, {30, 1}},
      {Subtype::YUY2, 640, 480, {30, 1}},  {Subtype::YUY2, 1280, 720, {30, 1}},
      {Subtype::MJPG, 1100, 1100, {5, 1}},
  };
  EXPECT_EQ(device->offeredFormats(), expected);
}

TEST_F(V4l2CaptureDeviceTest, RatesFallBackToTheCurrentOneWithoutIntervalEnumeration) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.interval = {1, 25};
  auto device = bind(camera);
  io.failIoctl(kNode, VIDIOC_ENUM_FRAMEINTERVALS, ENOTTY);
  const std::vector<CaptureFormat> expected = {
      {Subtype::YUY2, 640, 480, {25, 1}},
      {Subtype::YUY2, 320, 240, {25, 1}},
      {Subtype::MJPG, 1280, 720, {25, 1}},
  };
  EXPECT_EQ(device->offeredFormats(), expected);
}

TEST_F(V4l2CaptureDeviceTest, DeviceVanishingMidEnumerationOffersNothing) {
  auto device = bind(fakeUvcCamera("Test"));
  const std::size_t complete = device->offeredFormats().size();
  ASSERT_EQ(complete, 4u);
  // Every point at which the device can go during one enumeration.
  const int asked = io.ioctlCount(kNode, VIDIOC_G_FMT) + io.ioctlCount(kNode, VIDIOC_G_PARM) +
                    io.ioctlCount(kNode, VIDIOC_ENUM_FMT) +
                    io.ioctlCount(kNode, VIDIOC_ENUM_FRAMESIZES) +
                    io.ioctlCount(kNode, VIDIOC_ENUM_FRAMEINTERVALS);
  for (int answered = 0; answered < asked; ++answered) {
    FakeV4l2Io fresh;
    fresh.addDevice(kNode, fakeUvcCamera("Test"));
    fresh.vanishAfterIoctls(kNode, answered);
    auto doomed = makeV4l2CaptureDevice(fresh, {kNode, "Test", kNode});
    EXPECT_EQ(doomed->offeredFormats(), std::vector<CaptureFormat>{}) << answered;
    EXPECT_EQ(doomed->currentFormat(), std::nullopt);
    EXPECT_FALSE(doomed->applyFormat({Subtype::YUY2, 640, 480, {30, 1}}));
    EXPECT_EQ(fresh.openFdCount(), 0u);
  }
}

TEST_F(V4l2CaptureDeviceTest, AppliesOnlyOfferedFormats) {
  auto device = bind(fakeUvcCamera("Test"));
  const CaptureFormat small{Subtype::YUY2, 320, 240, {30, 1}};
  ASSERT_TRUE(device->applyFormat(small));
  EXPECT_EQ(device->currentFormat(), small);
  const CaptureFormat slow{Subtype::YUY2, 640, 480, {15, 1}};
  ASSERT_TRUE(device->applyFormat(slow));
  EXPECT_EQ(device->currentFormat(), slow);

  EXPECT_FALSE(device->applyFormat({Subtype::YUY2, 1920, 1080, {30, 1}}));
  EXPECT_FALSE(device->applyFormat({Subtype::RGB24, 640, 480, {30, 1}}));
  EXPECT_FALSE(device->applyFormat({Subtype::MJPG, 1280, 720, {60, 1}}));
  EXPECT_EQ(device->currentFormat(), slow);

  // A device busy streaming refuses S_FMT; the pipeline sets the format when it starts.
  io.failIoctl(kNode, VIDIOC_S_FMT, EBUSY);
  EXPECT_TRUE(device->applyFormat(small));
  EXPECT_EQ(io.openFdCount(), 0u);
}

TEST_F(V4l2CaptureDeviceTest, ControlsComeFromTheNode) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.controls = {fakeIntegerControl(V4L2_CID_BRIGHTNESS, "Brightness", 0, 255, 1, 128)};
  auto device = bind(camera);
  auto controls = device->openControls(nullptr);
  ASSERT_NE(controls, nullptr);
  const auto listed = controls->list();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "Brightness");
  EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 99), 0);
  EXPECT_EQ(io.device(kNode)->controls[0].value, 99);
}

// The v4l2src element and the caps of the capsfilter inside a source bin.
struct SourceParts {
  std::string device;
  GstCaps* caps = nullptr;
};

SourceParts partsOf(GstElement* bin) {
  SourceParts parts;
  for (GList* child = GST_BIN_CHILDREN(GST_BIN(bin)); child; child = child->next) {
    GstElement* element = GST_ELEMENT(child->data);
    const std::string factory = GST_OBJECT_NAME(gst_element_get_factory(element));
    if (factory == "v4l2src") {
      gchar* device = nullptr;
      g_object_get(element, "device", &device, nullptr);
      parts.device = device ? device : "";
      g_free(device);
    } else if (factory == "capsfilter") {
      g_object_get(element, "caps", &parts.caps, nullptr);
    }
  }
  return parts;
}

TEST_F(V4l2CaptureDeviceTest, SourceBinHoldsV4l2srcAndTheFormatsCaps) {
  GstElementFactory* v4l2src = gst_element_factory_find("v4l2src");
  if (!v4l2src) GTEST_SKIP() << "the v4l2src element is not installed";
  gst_object_unref(v4l2src);
  auto device = bind(fakeUvcCamera("Test"));

  const struct {
    CaptureFormat format;
    const char* caps;
  } cases[] = {
      {{Subtype::YUY2, 640, 480, {30, 1}},
       "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1"},
      {{Subtype::RGB24, 320, 240, {15, 2}},
       "video/x-raw,format=BGR,width=320,height=240,framerate=15/2"},
      {{Subtype::I420, 320, 240, {30000, 1001}},
       "video/x-raw,format=I420,width=320,height=240,framerate=30000/1001"},
      {{Subtype::MJPG, 1280, 720, {30, 1}}, "image/jpeg,width=1280,height=720,framerate=30/1"},
      {{Subtype::YUY2, 640, 480, kUnknownFrameRate},
       "video/x-raw,format=YUY2,width=640,height=480"},
  };
  for (const auto& c : cases) {
    GstElement* bin = device->createSource(c.format);
    ASSERT_NE(bin, nullptr) << c.caps;
    EXPECT_TRUE(g_object_is_floating(bin));
    EXPECT_STREQ(GST_OBJECT_NAME(bin), kCaptureFilterName);
    const SourceParts parts = partsOf(bin);
    EXPECT_EQ(parts.device, kNode);
    GstCaps* expected = gst_caps_from_string(c.caps);
    ASSERT_NE(parts.caps, nullptr);
    EXPECT_TRUE(gst_caps_is_equal(parts.caps, expected))
        << gst_caps_to_string(parts.caps) << " vs " << c.caps;
    gst_caps_unref(expected);
    gst_caps_unref(parts.caps);
    GstPad* src = gst_element_get_static_pad(bin, "src");
    ASSERT_NE(src, nullptr);
    EXPECT_TRUE(GST_IS_GHOST_PAD(src));
    gst_object_unref(src);
    gst_object_unref(gst_object_ref_sink(bin));
  }
}

}  // namespace
}  // namespace kovracam
