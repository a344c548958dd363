#pragma once
// Connects the branches of a capture pipeline: the preview branch that ends in the video window,
// and the file branch of a recording.

#include <gst/gst.h>

#include "capture/status.h"

namespace kovracam {

class FrameMailbox;

// The name the grabbing element carries inside the pipeline.
inline constexpr const char* kGrabFilterName = "Grab Filter";

class CaptureGraphBuilder {
 public:
  explicit CaptureGraphBuilder(GstElement* pipeline);
  ~CaptureGraphBuilder();
  CaptureGraphBuilder(const CaptureGraphBuilder&) = delete;
  CaptureGraphBuilder& operator=(const CaptureGraphBuilder&) = delete;

  // source → tee → grabber → videoconvert → appsink (YUY2, BGR or BGRx); every frame the sink
  // gets is posted to `mailbox`. The mailbox must outlive the pipeline's streaming.
  Status renderPreview(GstElement* source, GstElement* grabber, FrameMailbox& mailbox);
  // The tee behind the source, where a recording branch joins; nullptr before renderPreview.
  GstElement* tee() const { return tee_; }

 private:
  GstElement* pipeline_;
  GstElement* tee_ = nullptr;  // owned by the pipeline
};

}  // namespace kovracam
