#include "capture/capture_graph_builder.h"

#include <gst/app/gstappsink.h>

#include "capture/frame_mailbox.h"

namespace kovracam {
namespace {

GstFlowReturn onNewSample(GstAppSink* sink, gpointer mailbox) {
  if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
    static_cast<FrameMailbox*>(mailbox)->post(sample);
  }
  return GST_FLOW_OK;
}

}  // namespace

CaptureGraphBuilder::CaptureGraphBuilder(GstElement* pipeline)
    : pipeline_(GST_ELEMENT(gst_object_ref(pipeline))) {}

CaptureGraphBuilder::~CaptureGraphBuilder() { gst_object_unref(pipeline_); }

Status CaptureGraphBuilder::renderPreview(GstElement* source, GstElement* grabber,
                                          FrameMailbox& mailbox) {
  GstElement* queue = gst_element_factory_make("queue", "preview queue");
  GstElement* convert = gst_element_factory_make("videoconvert", "preview convert");
  GstElement* sink = gst_element_factory_make("appsink", "video renderer");
  if (!queue || !convert || !sink) {
    for (GstElement* e : {queue, convert, sink}) {
      if (e) gst_object_unref(gst_object_ref_sink(e));
    }
    return kNoInterface;
  }
  // The window only ever wants the newest frame: a slow paint drops old ones here rather than
  // holding back the camera.
  g_object_set(queue, "max-size-buffers", 2u, "max-size-bytes", 0u, "max-size-time",
               guint64{0}, "leaky", 2 /* downstream */, nullptr);
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
  g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 1u, "drop", TRUE,
               "enable-last-sample", FALSE, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = onNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &mailbox, nullptr);

  gst_bin_add_many(GST_BIN(pipeline_), queue, convert, sink, nullptr);
  if (!gst_element_link_many(source, grabber, queue, convert, sink, nullptr)) return kFail;
  return kOk;
}

}  // namespace kovracam
