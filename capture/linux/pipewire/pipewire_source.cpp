#include "capture/linux/pipewire/pipewire_source.h"

#include <memory>
#include <string>

#include "capture/linux/pipewire/node_watch.h"

#include "capture/linux/device/capture_device.h"

namespace kovracam {
namespace {

GstCaps* capsFor(const NodeFormat& offered, const char* layout) {
  const CaptureFormat& format = offered.format;
  GstStructure* structure = format.subtype == Subtype::MJPG
                                ? gst_structure_new_empty("image/jpeg")
                                : gst_structure_new_empty("video/x-raw");
  if (layout && *layout) gst_structure_set(structure, "format", G_TYPE_STRING, layout, nullptr);
  gst_structure_set(structure, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT,
                    format.height, nullptr);
  if (format.fps.num > 0 && format.fps.den > 0) {
    gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, format.fps.num, format.fps.den,
                      nullptr);
  }
  GstCaps* caps = gst_caps_new_empty();
  gst_caps_append_structure(caps, structure);
  return caps;
}

GstElement* addElement(GstElement* bin, const char* factory) {
  GstElement* element = gst_element_factory_make(factory, nullptr);
  if (element) gst_bin_add(GST_BIN(bin), element);
  return element;
}

GstElement* addCapsFilter(GstElement* bin, GstCaps* caps) {
  GstElement* filter = addElement(bin, "capsfilter");
  if (filter) g_object_set(filter, "caps", caps, nullptr);
  gst_caps_unref(caps);
  return filter;
}

// When the node leaves, the bin reports it as a source that fails does: an error on the bus.
void watchNode(GstElement* bin, const std::string& serial) {
  auto* target = new GWeakRef;
  g_weak_ref_init(target, bin);
  auto watch = NodeWatch::start(serial, [target] {
    auto* element = static_cast<GstElement*>(g_weak_ref_get(target));
    if (!element) return;
    GST_ELEMENT_ERROR(element, RESOURCE, NOT_FOUND, ("the camera is gone"),
                      ("its PipeWire node left"));
    gst_object_unref(element);
  });
  if (!watch) {
    g_weak_ref_clear(target);
    delete target;
    return;
  }
  // The watch ends with the bin; the weak reference after it, so no call can reach a bin
  // that is being finalised.
  struct Held {
    std::unique_ptr<NodeWatch> watch;
    GWeakRef* target;
  };
  g_object_set_data_full(G_OBJECT(bin), "kovracam-node-watch", new Held{std::move(watch), target},
                         [](gpointer data) {
                           auto* held = static_cast<Held*>(data);
                           held->watch.reset();
                           g_weak_ref_clear(held->target);
                           delete held->target;
                           delete held;
                         });
}

}  // namespace

bool pipeWireSourceAvailable() {
  GstElementFactory* factory = gst_element_factory_find("pipewiresrc");
  if (!factory) return false;
  gst_object_unref(factory);
  return true;
}

GstElement* makePipeWireSource(const PipeWireCamera& camera, const NodeFormat& offered) {
  GstElement* bin = gst_bin_new(kCaptureFilterName);
  GstElement* source = addElement(bin, "pipewiresrc");
  GstElement* last = addCapsFilter(bin, capsFor(offered, offered.layout.c_str()));
  bool ok = source && last && gst_element_link(source, last);
  // Frames in R, G, B order are turned around to the B, G, R order RGB24 means.
  if (ok && offered.layout == "RGB") {
    GstElement* convert = addElement(bin, "videoconvert");
    GstElement* bgr = addCapsFilter(bin, capsFor(offered, "BGR"));
    ok = convert && bgr && gst_element_link_many(last, convert, bgr, nullptr);
    last = bgr;
  }
  if (ok) {
    // The serial names this very node; the session manager links the stream to it. Without a
    // media type the session manager does not link a stream at all; and when the camera goes,
    // the stream must not be moved to another one.
    g_object_set(source, "target-object", camera.serial.c_str(), "client-name", "kovracam",
                 nullptr);
    GstStructure* props =
        gst_structure_new("props", "media.type", G_TYPE_STRING, "Video", "media.category",
                          G_TYPE_STRING, "Capture", "media.role", G_TYPE_STRING, "Camera",
                          "node.dont-reconnect", G_TYPE_STRING, "true", nullptr);
    g_object_set(source, "stream-properties", props, nullptr);
    gst_structure_free(props);
    GstPad* target = gst_element_get_static_pad(last, "src");
    ok = target && gst_element_add_pad(bin, gst_ghost_pad_new("src", target));
    if (target) gst_object_unref(target);
  }
  if (!ok) {
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
  }
  watchNode(bin, camera.serial);
  return bin;
}

}  // namespace kovracam
