#include "capture/linux/capture_graph_builder.h"

#include <gst/app/gstappsink.h>

#include "capture/linux/frame_mailbox.h"

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
  GstElement* tee = gst_element_factory_make("tee", "Capture Tee");
  GstElement* convert = gst_element_factory_make("videoconvert", "preview convert");
  GstElement* sink = gst_element_factory_make("appsink", "video renderer");
  if (!tee || !convert || !sink) {
    for (GstElement* e : {tee, convert, sink}) {
      if (e) gst_object_unref(gst_object_ref_sink(e));
    }
    return kNoInterface;
  }
  // The window converts YUY2 and BGR itself while it copies the frame for painting, so the
  // converter here passes camera frames through untouched.
  GstCaps* caps = gst_caps_from_string("video/x-raw, format=(string){ YUY2, BGR, BGRx }");
  // The sink hands each frame on at once and keeps none: the window only ever wants the newest,
  // so a slow paint drops old frames rather than holding back the camera.
  g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 1u, "drop", TRUE,
               "enable-last-sample", FALSE, nullptr);
  gst_caps_unref(caps);
  GstAppSinkCallbacks callbacks{};
  callbacks.new_sample = onNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &mailbox, nullptr);

  // The tee lets a recording branch share the camera's frames with the preview.
  gst_bin_add_many(GST_BIN(pipeline_), tee, convert, sink, nullptr);
  tee_ = tee;
  if (!gst_element_link_many(source, tee, grabber, convert, sink, nullptr)) return kFail;
  return kOk;
}

}  // namespace kovracam
