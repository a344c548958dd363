#include "capture/linux/pipewire/pipewire_capture_device.h"

#include <algorithm>
#include <utility>

#include "base/utf16.h"
#include "capture/linux/pipewire/pipewire_controls.h"
#include "capture/linux/pipewire/pipewire_source.h"
#include "capture/linux/v4l2/v4l2_controls.h"

namespace kovracam {
namespace {

class PipeWireCaptureDevice final : public CaptureDevice {
 public:
  PipeWireCaptureDevice(V4l2Io& io, PipeWireCamera camera)
      : io_(io), camera_(std::move(camera)), record_(pipeWireDeviceRecord(camera_)) {
    if (!camera_.formats.empty()) current_ = camera_.formats.front().format;
  }

  const DeviceRecord& record() const override { return record_; }
  std::optional<CaptureFormat> currentFormat() override { return current_; }

  std::vector<CaptureFormat> offeredFormats() override {
    std::vector<CaptureFormat> formats;
    for (const NodeFormat& offered : camera_.formats) formats.push_back(offered.format);
    return formats;
  }

  bool applyFormat(const CaptureFormat& format) override {
    if (!find(format)) return false;
    current_ = format;  // the node takes it when the stream is linked
    return true;
  }

  GstElement* createSource(const CaptureFormat& format) override {
    const NodeFormat* offered = find(format);
    if (!offered) return nullptr;
    return makePipeWireSource(camera_, *offered);
  }

  // A camera behind a V4L2 node keeps that node's controls; they can be read and set while
  // PipeWire streams it. Others offer what their node publishes.
  std::unique_ptr<DeviceControls> openControls(GstElement* /*source*/) override {
    if (camera_.v4l2Path.empty()) return openPipeWireControls(camera_.serial);
    return std::make_unique<V4l2Controls>(io_, camera_.v4l2Path);
  }

 private:
  const NodeFormat* find(const CaptureFormat& format) const {
    auto it = std::find_if(camera_.formats.begin(), camera_.formats.end(),
                           [&](const NodeFormat& f) { return f.format == format; });
    return it == camera_.formats.end() ? nullptr : &*it;
  }

  V4l2Io& io_;
  PipeWireCamera camera_;
  DeviceRecord record_;
  std::optional<CaptureFormat> current_;
};

}  // namespace

DeviceRecord pipeWireDeviceRecord(const PipeWireCamera& camera) {
  const std::string path = camera.v4l2Path.empty() ? camera.nodeName : camera.v4l2Path;
  return {truncateToUtf16Units(pipeWireIdentity(camera), kDeviceFieldUnits),
          truncateToUtf16Units(camera.description, kDeviceFieldUnits),
          truncateToUtf16Units(path, kDeviceFieldUnits)};
}

std::unique_ptr<CaptureDevice> makePipeWireCaptureDevice(V4l2Io& io, PipeWireCamera camera) {
  return std::make_unique<PipeWireCaptureDevice>(io, std::move(camera));
}

}  // namespace kovracam
