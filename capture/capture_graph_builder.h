#pragma once
// Connects the branches of a capture pipeline: the preview branch that ends in the video window.

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

  // source → grabber → videoconvert → appsink (YUY2, BGR or BGRx); every frame the sink gets is
  // posted to `mailbox`. The mailbox must outlive the pipeline's streaming.
  Status renderPreview(GstElement* source, GstElement* grabber, FrameMailbox& mailbox);

 private:
  GstElement* pipeline_;
};

}  // namespace kovracam
