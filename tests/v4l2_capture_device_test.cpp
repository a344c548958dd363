// A V4L2 node as a capture device: formats read through the fake kernel, and the source bin.

#include "capture/linux/v4l2/v4l2_capture_device.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ostream>

#include "capture/linux/v4l2/v4l2_formats.h"
#include "tests/fakes/fake_v4l2_io.h"

namespace kovracam {

// Readable failure messages; internal linkage keeps it out of other tests' way.
[[maybe_unused]] static void PrintTo(const CaptureFormat& format, std::ostream* out) {
  *out << describe(format) << " (" << format.fps.num << "/" << format.fps.den << ")";
}

namespace {

constexpr const char* kNode = "/dev/video0";
using Formats = std::vector<CaptureFormat>;

class V4l2CaptureDeviceTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureDevice> bind(FakeDevice camera = fakeUvcCamera("Test")) {
    io.addDevice(kNode, std::move(camera));
    return makeV4l2CaptureDevice(io, {"/dev/v4l/by-id/usb-Test-video-index0", "Test", kNode});
  }
  FakeDevice& state() { return *io.device(kNode); }
  // Whatever a test asked of the device, no descriptor stays open.
  void TearDown() override { EXPECT_EQ(io.openFdCount(), 0u); }

  FakeV4l2Io io;
};

TEST_F(V4l2CaptureDeviceTest, CurrentFormatComesFromGFmtAndGParm) {
  auto device = bind();
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, {30, 1}}));
  state().pixelFormat = V4L2_PIX_FMT_BGR24;
  state().interval = {2, 15};
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::RGB24, 640, 480, {15, 2}}));
  state().pixelFormat = V4L2_PIX_FMT_NV12;  // no Subtype stands for it
  EXPECT_EQ(device->currentFormat(), std::nullopt);

  // Without G_PARM the first listed interval stands for the rate, without that it is unknown.
  state() = fakeUvcCamera("Test");
  state().formats[0].sizes[0].intervals = {{1, 15}, {1, 30}};
  io.failIoctl(kNode, VIDIOC_G_PARM, ENOTTY);
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, {15, 1}}));
  io.failIoctl(kNode, VIDIOC_ENUM_FRAMEINTERVALS, ENOTTY);
  EXPECT_EQ(device->currentFormat(), (CaptureFormat{Subtype::YUY2, 640, 480, kUnknownFrameRate}));
}

TEST_F(V4l2CaptureDeviceTest, OffersEveryRepresentableFormatSizeAndRateInDriverOrder) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats = {
      {V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}, {}, {}},
      {V4L2_PIX_FMT_GREY, {{640, 480, {{1, 30}}}}, {}, {}},
      {V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}, {1001, 30000}}}}, {}, {}},
      // The slowest rate a FrameRate holds exactly, and one too fast for it.
      {V4L2_PIX_FMT_BGR24, {{160, 120, {{2, 15}, {INT32_MAX, 1}, {1, UINT32_MAX}}}}, {}, {}},
      {V4L2_PIX_FMT_YUV420, {{320, 240, {{333333, 10000000}, {1000, 25000}}}}, {}, {}}};
  auto device = bind(camera);
  EXPECT_EQ(device->offeredFormats(), (Formats{{Subtype::YUY2, 640, 480, {30, 1}},
                                               {Subtype::YUY2, 640, 480, {15, 1}},
                                               {Subtype::YUY2, 320, 240, {30, 1}},
                                               {Subtype::MJPG, 1280, 720, {30, 1}},
                                               {Subtype::MJPG, 1280, 720, {30000, 1001}},
                                               {Subtype::RGB24, 160, 120, {15, 2}},
                                               {Subtype::RGB24, 160, 120, {1, INT32_MAX}},
                                               {Subtype::I420, 320, 240, {10000000, 333333}},
                                               {Subtype::I420, 320, 240, {25, 1}}}));

  // A driver that cannot enumerate intervals offers its current rate for every size.
  state().interval = {1, 25};
  state().formats.resize(1);
  io.failIoctl(kNode, VIDIOC_ENUM_FRAMEINTERVALS, ENOTTY);
  EXPECT_EQ(device->offeredFormats(),
            (Formats{{Subtype::YUY2, 640, 480, {25, 1}}, {Subtype::YUY2, 320, 240, {25, 1}}}));
}

TEST_F(V4l2CaptureDeviceTest, SizeRangesOfferTheCommonSizesInside) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.formats = {
      {V4L2_PIX_FMT_YUYV, {}, v4l2_frmsize_stepwise{320, 1280, 16, 240, 720, 16}, {{1, 30}}},
      {V4L2_PIX_FMT_MJPEG, {}, v4l2_frmsize_stepwise{1000, 1100, 1, 1000, 1100, 1}, {{1, 5}}}};
  // 800x600 is off the 16-line grid, 1024x768 and taller too tall; the MJPEG range holds no
  // common size and offers its largest.
  EXPECT_EQ(bind(camera)->offeredFormats(), (Formats{{Subtype::YUY2, 320, 240, {30, 1}},
                                                     {Subtype::YUY2, 352, 288, {30, 1}},
                                                     {Subtype::YUY2, 640, 480, {30, 1}},
                                                     {Subtype::YUY2, 1280, 720, {30, 1}},
                                                     {Subtype::MJPG, 1100, 1100, {5, 1}}}));
}

TEST_F(V4l2CaptureDeviceTest, DeviceVanishingMidEnumerationOffersNothing) {
  ASSERT_EQ(bind()->offeredFormats().size(), 4u);
  int asked = 0;  // every point at which the device can go during one enumeration
  for (unsigned long request : {VIDIOC_G_FMT, VIDIOC_G_PARM, VIDIOC_ENUM_FMT,
                                VIDIOC_ENUM_FRAMESIZES, VIDIOC_ENUM_FRAMEINTERVALS}) {
    asked += io.ioctlCount(kNode, request);
  }
  for (int answered = 0; answered < asked; ++answered) {
    SCOPED_TRACE(answered);
    auto doomed = bind();  // a new device in the node
    io.vanishAfterIoctls(kNode, answered);
    EXPECT_EQ(doomed->offeredFormats(), Formats{});
    EXPECT_FALSE(doomed->currentFormat() ||
                 doomed->applyFormat({Subtype::YUY2, 640, 480, {30, 1}}));
  }
}

TEST_F(V4l2CaptureDeviceTest, AppliesOnlyOfferedFormatsAndOpensTheNodesControls) {
  FakeDevice camera = fakeUvcCamera("Test");
  camera.controls = {
      {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, 0, 255, 1, 0, 0, {}, 0}};
  auto device = bind(camera);
  const CaptureFormat small{Subtype::YUY2, 320, 240, {30, 1}};
  const CaptureFormat slow{Subtype::YUY2, 640, 480, {15, 1}};
  ASSERT_TRUE(device->applyFormat(small));
  EXPECT_EQ(device->currentFormat(), small);
  ASSERT_TRUE(device->applyFormat(slow));
  EXPECT_FALSE(device->applyFormat({Subtype::YUY2, 1920, 1080, {30, 1}}));
  EXPECT_FALSE(device->applyFormat({Subtype::RGB24, 640, 480, {30, 1}}));
  EXPECT_FALSE(device->applyFormat({Subtype::MJPG, 1280, 720, {60, 1}}));
  EXPECT_EQ(device->currentFormat(), slow);
  // A device busy streaming refuses S_FMT; the pipeline sets the format when it starts.
  io.failIoctl(kNode, VIDIOC_S_FMT, EBUSY);
  EXPECT_TRUE(device->applyFormat(small));

  EXPECT_TRUE(device->openControls(nullptr)->set(V4L2_CID_BRIGHTNESS, 99) == 0 &&
              state().controls[0].value == 99);
}

TEST_F(V4l2CaptureDeviceTest, SourceBinIsV4l2srcOnTheNodeBehindTheFormatsCaps) {
  g_autoptr(GstElementFactory) v4l2src = gst_element_factory_find("v4l2src");
  if (!v4l2src) GTEST_SKIP() << "the v4l2src element is not installed";
  auto device = bind();
  // V4L2's BGR24 is GStreamer's BGR; a rate the driver does not report is left to negotiation.
  const std::pair<CaptureFormat, const char*> cases[] = {
      {{Subtype::RGB24, 320, 240, {15, 2}},
       "video/x-raw,format=BGR,width=320,height=240,framerate=15/2"},
      {{Subtype::MJPG, 1280, 720, {30000, 1001}},
       "image/jpeg,width=1280,height=720,framerate=30000/1001"},
      {{Subtype::YUY2, 640, 480, kUnknownFrameRate},
       "video/x-raw,format=YUY2,width=640,height=480"}};
  for (const auto& [format, caps] : cases) {
    SCOPED_TRACE(caps);
    g_autoptr(GstElement) bin = device->createSource(format);
    ASSERT_NE(bin, nullptr);
    EXPECT_TRUE(g_object_is_floating(bin));
    gst_object_ref_sink(bin);
    EXPECT_STREQ(GST_OBJECT_NAME(bin), kCaptureFilterName);
    g_autofree gchar* node = nullptr;
    g_autoptr(GstCaps) filter = nullptr;
    for (GList* child = GST_BIN_CHILDREN(GST_BIN(bin)); child; child = child->next) {
      const std::string factory =
          GST_OBJECT_NAME(gst_element_get_factory(GST_ELEMENT(child->data)));
      if (factory == "capsfilter") g_object_get(child->data, "caps", &filter, nullptr);
      if (factory == "v4l2src") g_object_get(child->data, "device", &node, nullptr);
    }
    EXPECT_STREQ(node, kNode);
    g_autoptr(GstCaps) expected = gst_caps_from_string(caps);
    EXPECT_TRUE(filter != nullptr && gst_caps_is_equal(filter, expected));
    g_autoptr(GstPad) src = gst_element_get_static_pad(bin, "src");
    EXPECT_TRUE(src != nullptr && GST_IS_GHOST_PAD(src));
  }
}

}  // namespace
}  // namespace kovracam
