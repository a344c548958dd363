#pragma once
// The source element of a PipeWire camera: a bin named kCaptureFilterName around a pipewiresrc
// linked to the camera's node, delivering one of the node's formats.

#include <gst/gst.h>

#include "capture/linux/pipewire/pipewire_cameras.h"

namespace kovracam {

// Whether GStreamer has pipewiresrc; without it PipeWire's cameras cannot be read.
bool pipeWireSourceAvailable();

// A new floating bin with a "src" pad delivering `format` (RGB24 always as BGR); nullptr when
// the elements cannot be made.
GstElement* makePipeWireSource(const PipeWireCamera& camera, const NodeFormat& format);

}  // namespace kovracam
