// The formats read from a PipeWire node's EnumFormat objects, and the identities of its cameras.

#include <gtest/gtest.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include "capture/linux/device_enumerator.h"
#include "capture/linux/pipewire/node_formats.h"
#include "capture/linux/pipewire/pipewire_capture_device.h"
#include "tests/fakes/fake_v4l2_io.h"

namespace kovracam {
namespace {

class NodeFormatsTest : public ::testing::Test {
 protected:
  // Appends one EnumFormat object of video `subtype`, the rest built by `build`, to `formats`.
  template <typename Build>
  void add(std::uint32_t subtype, Build build) {
    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype, SPA_POD_Id(subtype), 0);
    build(b);
    appendNodeFormats(static_cast<spa_pod*>(spa_pod_builder_pop(&b, &frame)), formats);
  }
  std::vector<std::string> described() {
    std::vector<std::string> names;
    for (const auto& f : formats) names.push_back(describe(f.format) + " " + f.layout);
    return names;
  }
  std::vector<NodeFormat> formats;
};

TEST_F(NodeFormatsTest, EveryListedLayoutSizeAndRateOfAnEnumerationTheDefaultOfARange) {
  add(SPA_MEDIA_SUBTYPE_raw, [](spa_pod_builder& b) {
    const spa_rectangle size{640, 480}, least{1, 1}, most{1920, 1080};
    const spa_fraction thirty{30, 1}, slow{15, 2};
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_format,
                        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_YUY2, SPA_VIDEO_FORMAT_YUY2,
                                               SPA_VIDEO_FORMAT_NV12),
                        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &least, &most),
                        SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_CHOICE_ENUM_Fraction(3, &thirty, &thirty, &slow), 0);
  });
  // MJPG is one of ours; other compressed streams are not.
  const spa_rectangle size{1280, 720};
  for (std::uint32_t subtype : {SPA_MEDIA_SUBTYPE_mjpg, SPA_MEDIA_SUBTYPE_h264}) {
    add(subtype, [&size](spa_pod_builder& b) {
      spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), 0);
    });
  }
  EXPECT_EQ(described(), (std::vector<std::string>{"YUY2 640x480@30 YUY2", "YUY2 640x480@7.5 YUY2",
                                                   "I420 640x480@30 ", "I420 640x480@7.5 ",
                                                   "MJPG 1280x720@0 "}));
}

TEST_F(NodeFormatsTest, BothByteOrdersOf24BitFramesAreRgb24ListedOnceAsBgr) {
  for (const auto layout : {SPA_VIDEO_FORMAT_RGB, SPA_VIDEO_FORMAT_BGR, SPA_VIDEO_FORMAT_RGB}) {
    add(SPA_MEDIA_SUBTYPE_raw, [layout](spa_pod_builder& b) {
      const spa_rectangle size{320, 240};
      spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_format, SPA_POD_Id(layout), SPA_FORMAT_VIDEO_size,
                          SPA_POD_Rectangle(&size), 0);
    });
  }
  dropDuplicateLayouts(formats);
  // A node that leaves the rate open keeps it open (0): the camera's own pace.
  EXPECT_EQ(described(), (std::vector<std::string>{"RGB24 320x240@0 BGR"}));
}

TEST(PipeWireIdentityTest, TheNodeNameElseTheBusPathAndARememberedV4l2NodeIsFoundBehindIt) {
  PipeWireCamera camera;
  camera.nodeName = "v4l2_input.pci-0000_00_14.0-usb-0_1_1.0";
  camera.busPath = "pci-0000:00:14.0-usb-0:1:1.0";
  camera.v4l2Path = "/dev/video2";
  EXPECT_EQ(pipeWireDeviceRecord(camera).szDisplayName,
            "pipewire:v4l2_input.pci-0000_00_14.0-usb-0_1_1.0");
  camera.nodeName.clear();
  EXPECT_EQ(pipeWireIdentity(camera), "pipewire:pci-0000:00:14.0-usb-0:1:1.0");

  FakeV4l2Io io;
  io.addDevice("/dev/video2", fakeUvcCamera("Cam"));
  io.addLink("/dev/v4l/by-id/usb-Cam-video-index0", "../../video2");
  DeviceList list;
  list.pRecords = {{"pipewire:other", "Other", "other-node"}, pipeWireDeviceRecord(camera)};
  for (const char* path : {"/dev/v4l/by-id/usb-Cam-video-index0", "/dev/video2"})
    EXPECT_EQ(findFormerDeviceChoice(io, list, path), 1u) << path;
  EXPECT_EQ(findFormerDeviceChoice(io, list, "/dev/v4l/by-id/gone"), std::nullopt);
}

}  // namespace
}  // namespace kovracam
