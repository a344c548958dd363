#include "capture/linux/virtual/virtual_capture_device.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "base/utf16.h"
#include "capture/linux/virtual/virtual_controls.h"

namespace kovracam {

namespace {

std::int64_t powerLineValue(PowerLineSetting setting) {
  switch (setting) {
    case PowerLineSetting::Off:
    case PowerLineSetting::None:
      break;
    case PowerLineSetting::Hz50:
      return kPowerLine50Hz;
    case PowerLineSetting::Hz60:
      return kPowerLine60Hz;
    case PowerLineSetting::Auto:
      return kPowerLineAuto;
  }
  return kPowerLineDisabled;
}

// The raw format videotestsrc draws for a subtype. Compressed subtypes are drawn as I420 and
// encoded afterwards.
const char* rawFormatOf(Subtype subtype) {
  switch (subtype) {
    case Subtype::YUY2:
      return "YUY2";
    case Subtype::RGB24:
      return "BGR";  // 24-bit frames carry their bytes in B, G, R order
    case Subtype::MJPG:
    case Subtype::I420:
      break;
  }
  return "I420";
}

GstCaps* capsOf(const char* mediaType, const char* rawFormat, const CaptureFormat& format) {
  GstCaps* caps =
      gst_caps_new_simple(mediaType, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT,
                          format.height, "framerate", GST_TYPE_FRACTION, format.fps.num,
                          format.fps.den, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  if (rawFormat != nullptr) gst_caps_set_simple(caps, "format", G_TYPE_STRING, rawFormat, nullptr);
  return caps;
}

bool setPattern(GstElement* videotestsrc, const std::string& nick) {
  GParamSpec* patternProperty =
      g_object_class_find_property(G_OBJECT_GET_CLASS(videotestsrc), "pattern");
  if (patternProperty == nullptr || !G_IS_PARAM_SPEC_ENUM(patternProperty)) return false;
  const GEnumValue* value =
      g_enum_get_value_by_nick(G_PARAM_SPEC_ENUM(patternProperty)->enum_class, nick.c_str());
  if (value == nullptr) return false;
  g_object_set(videotestsrc, "pattern", value->value, nullptr);
  return true;
}

// Makes an element and puts it in `bin` at once, so that the bin owns it on every path.
GstElement* addElement(GstElement* bin, const char* factory, const char* name = nullptr) {
  GstElement* element = gst_element_factory_make(factory, name);
  if (element != nullptr) gst_bin_add(GST_BIN(bin), element);
  return element;
}

// videotestsrc ! capsfilter ! videobalance [! jpegenc ! capsfilter], behind a "src" ghost pad.
GstElement* buildSource(const std::string& pattern, const CaptureFormat& format) {
  const bool jpeg = format.subtype == Subtype::MJPG;
  GstElement* bin = gst_bin_new(kCaptureFilterName);
  GstElement* src = addElement(bin, "videotestsrc");
  GstElement* rawCaps = addElement(bin, "capsfilter");
  GstElement* balance = addElement(bin, "videobalance", kVirtualBalanceName);
  GstElement* encoder = jpeg ? addElement(bin, "jpegenc") : nullptr;
  GstElement* jpegCaps = jpeg ? addElement(bin, "capsfilter") : nullptr;
  GstElement* last = jpeg ? jpegCaps : balance;

  bool ok = src != nullptr && rawCaps != nullptr && balance != nullptr && last != nullptr &&
            (!jpeg || encoder != nullptr) && setPattern(src, pattern);
  if (ok) {
    g_object_set(src, "is-live", TRUE, nullptr);
    GstCaps* caps = capsOf("video/x-raw", rawFormatOf(format.subtype), format);
    g_object_set(rawCaps, "caps", caps, nullptr);
    gst_caps_unref(caps);
    ok = gst_element_link_many(src, rawCaps, balance, nullptr);
  }
  if (ok && jpeg) {
    GstCaps* caps = capsOf("image/jpeg", nullptr, format);
    g_object_set(jpegCaps, "caps", caps, nullptr);
    gst_caps_unref(caps);
    ok = gst_element_link_many(balance, encoder, jpegCaps, nullptr);
  }
  if (ok) {
    GstPad* target = gst_element_get_static_pad(last, "src");
    ok = gst_element_add_pad(bin, gst_ghost_pad_new("src", target));
    gst_object_unref(target);
  }
  if (!ok) {
    // The bin is still floating: take the reference before dropping it.
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  return bin;
}

// The settings of every virtual camera this process has opened, by id: like a driver, a camera
// keeps its control values from one opening to the next. Editing the camera's power-line entry
// in the file starts it afresh.
std::shared_ptr<VirtualCameraSettings> settingsFor(const VirtualCamera& camera) {
  static std::mutex mutex;
  static std::map<std::string, std::pair<PowerLineSetting, std::shared_ptr<VirtualCameraSettings>>>
      cameras;
  std::lock_guard lock(mutex);
  auto& entry = cameras[camera.id];
  if (!entry.second || entry.first != camera.powerline) {
    std::optional<std::int64_t> powerLine;
    if (camera.powerline != PowerLineSetting::None) powerLine = powerLineValue(camera.powerline);
    entry = {camera.powerline, std::make_shared<VirtualCameraSettings>(powerLine)};
  }
  return entry.second;
}

class VirtualCaptureDevice : public CaptureDevice {
 public:
  explicit VirtualCaptureDevice(const VirtualCamera& camera)
      : camera_(camera), record_(virtualDeviceRecord(camera)) {
    if (!camera.formats.empty()) current_ = camera.formats.front();
    settings_ = settingsFor(camera);
  }

  const DeviceRecord& record() const override { return record_; }
  std::optional<CaptureFormat> currentFormat() override { return current_; }
  std::vector<CaptureFormat> offeredFormats() override { return camera_.formats; }

  bool applyFormat(const CaptureFormat& format) override {
    if (std::find(camera_.formats.begin(), camera_.formats.end(), format) ==
        camera_.formats.end()) {
      return false;
    }
    current_ = format;
    return true;
  }

  GstElement* createSource(const CaptureFormat& format) override {
    if (format.width <= 0 || format.height <= 0 || format.fps.num <= 0 || format.fps.den <= 0) {
      return nullptr;
    }
    GstElement* source = buildSource(camera_.pattern, format);
    if (source != nullptr) applyPictureSettings(source, *settings_);
    return source;
  }

  std::unique_ptr<DeviceControls> openControls(GstElement* source) override {
    return std::make_unique<VirtualControls>(source, settings_);
  }

 private:
  VirtualCamera camera_;
  DeviceRecord record_;
  std::optional<CaptureFormat> current_;
  std::shared_ptr<VirtualCameraSettings> settings_;
};

}  // namespace

DeviceRecord virtualDeviceRecord(const VirtualCamera& camera) {
  const std::string displayName = truncateToUtf16Units(camera.displayName(), kDeviceFieldUnits);
  return {displayName, truncateToUtf16Units(camera.name, kDeviceFieldUnits), displayName};
}

std::unique_ptr<CaptureDevice> makeVirtualCaptureDevice(const VirtualCamera& camera) {
  return std::make_unique<VirtualCaptureDevice>(camera);
}

}  // namespace kovracam
