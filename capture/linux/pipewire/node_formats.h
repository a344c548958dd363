#pragma once
// The formats a PipeWire node offers (its EnumFormat parameters), as capture formats plus the
// GStreamer raw format name each one is delivered in.

#include <string>
#include <vector>

#include "capture/device/capture_format.h"

struct spa_pod;

namespace kovracam {

struct NodeFormat {
  CaptureFormat format;
  // The GStreamer name of the layout the node sends ("YUY2", "BGR", "RGB"...); empty for a
  // compressed one.
  std::string layout;
};

// Appends the formats one EnumFormat object describes, in the node's order: every listed
// layout, size and rate; of a range only its default. A layout with no subtype of ours is kept
// as I420 (the nearest: a planar or semi-planar 4:2:0 one), so choosing it is refused as any
// other unsupported subtype is. 24-bit frames in either byte order count as RGB24.
void appendNodeFormats(const spa_pod* param, std::vector<NodeFormat>& formats);

// The layout GStreamer's BGR stands for is what RGB24 frames carry; a node offering both byte
// orders of one size is listed once, with BGR.
void dropDuplicateLayouts(std::vector<NodeFormat>& formats);

}  // namespace kovracam
