// A V4L2 capture node as a CaptureDevice: formats are read through the seam, frames come from a
// v4l2src inside the source bin.

#include "capture/linux/v4l2/v4l2_capture_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <utility>

#include "capture/linux/v4l2/v4l2_controls.h"
#include "capture/linux/v4l2/v4l2_formats.h"

namespace kovracam {
namespace {

// Drops an element that nothing owns yet (floating) or that only the caller owns.
void discard(GstElement* element) {
  if (element) gst_object_unref(gst_object_ref_sink(element));
}

GstCaps* capsFor(const CaptureFormat& format) {
  GstStructure* structure = nullptr;
  switch (format.subtype) {
    case Subtype::MJPG:
      structure = gst_structure_new_empty("image/jpeg");
      break;
    case Subtype::RGB24:
      // V4L2's BGR24 stores blue first, which GStreamer calls BGR.
      structure = gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
      break;
    case Subtype::YUY2:
      structure = gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "YUY2", nullptr);
      break;
    case Subtype::I420:
      structure = gst_structure_new("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr);
      break;
  }
  gst_structure_set(structure, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT,
                    format.height, nullptr);
  // A rate the driver does not report is left for v4l2src to negotiate.
  if (format.fps.num > 0 && format.fps.den > 0) {
    gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, format.fps.num, format.fps.den,
                      nullptr);
  }
  GstCaps* caps = gst_caps_new_empty();
  gst_caps_append_structure(caps, structure);
  return caps;
}

// v4l2src ! capsfilter inside a bin named kCaptureFilterName, with a ghost "src" pad.
GstElement* makeV4l2Source(const std::string& node, const CaptureFormat& format) {
  GstElement* source = gst_element_factory_make("v4l2src", nullptr);
  GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
  if (!source || !filter) {
    discard(source);
    discard(filter);
    return nullptr;
  }
  g_object_set(source, "device", node.c_str(), nullptr);
  GstCaps* caps = capsFor(format);
  g_object_set(filter, "caps", caps, nullptr);
  gst_caps_unref(caps);

  GstElement* bin = gst_bin_new(kCaptureFilterName);
  gst_bin_add_many(GST_BIN(bin), source, filter, nullptr);
  GstPad* target = gst_element_get_static_pad(filter, "src");
  GstPad* ghost = target ? gst_ghost_pad_new("src", target) : nullptr;
  if (target) gst_object_unref(target);
  if (!gst_element_link(source, filter) || !ghost) {
    if (ghost) gst_object_unref(gst_object_ref_sink(ghost));
    discard(bin);
    return nullptr;
  }
  // Some refusals release the pad inside GStreamer, so it is not touched again here.
  if (!gst_element_add_pad(bin, ghost)) {
    discard(bin);
    return nullptr;
  }
  return bin;
}

class V4l2CaptureDevice final : public CaptureDevice {
 public:
  V4l2CaptureDevice(V4l2Io& io, DeviceRecord record) : io_(io), record_(std::move(record)) {}

  const DeviceRecord& record() const override { return record_; }

  std::optional<CaptureFormat> currentFormat() override {
    ScopedFd fd = openNode();
    if (!fd.valid()) return std::nullopt;
    return readCurrentFormat(io_, fd.get());
  }

  std::vector<CaptureFormat> offeredFormats() override {
    ScopedFd fd = openNode();
    if (!fd.valid()) return {};
    return readOfferedFormats(io_, fd.get());
  }

  bool applyFormat(const CaptureFormat& format) override {
    ScopedFd fd = openNode();
    if (!fd.valid()) return false;
    const auto offered = readOfferedFormats(io_, fd.get());
    if (std::find(offered.begin(), offered.end(), format) == offered.end()) return false;
    // v4l2src sets the format again when the pipeline starts; setting it here as well keeps
    // currentFormat truthful meanwhile. A device busy streaming refuses, which changes nothing.
    v4l2_format pixFormat{};
    pixFormat.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    pixFormat.fmt.pix.pixelformat = pixelFormatOfSubtype(format.subtype);
    pixFormat.fmt.pix.width = static_cast<std::uint32_t>(format.width);
    pixFormat.fmt.pix.height = static_cast<std::uint32_t>(format.height);
    pixFormat.fmt.pix.field = V4L2_FIELD_ANY;
    if (io_.ioctl(fd.get(), VIDIOC_S_FMT, &pixFormat) == 0 && format.fps.num > 0) {
      v4l2_streamparm parm{};
      parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      parm.parm.capture.timeperframe = {static_cast<std::uint32_t>(format.fps.den),
                                        static_cast<std::uint32_t>(format.fps.num)};
      io_.ioctl(fd.get(), VIDIOC_S_PARM, &parm);
    }
    return true;
  }

  GstElement* createSource(const CaptureFormat& format) override {
    return makeV4l2Source(record_.szDevicePath, format);
  }

  std::unique_ptr<DeviceControls> openControls(GstElement* /*source*/) override {
    return std::make_unique<V4l2Controls>(io_, record_.szDevicePath);
  }

 private:
  ScopedFd openNode() { return ScopedFd(io_, io_.open(record_.szDevicePath, O_RDWR | O_NONBLOCK)); }

  V4l2Io& io_;
  DeviceRecord record_;
};

}  // namespace

std::unique_ptr<CaptureDevice> makeV4l2CaptureDevice(V4l2Io& io, DeviceRecord record) {
  return std::make_unique<V4l2CaptureDevice>(io, std::move(record));
}

}  // namespace kovracam
