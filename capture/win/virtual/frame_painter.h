#pragma once
// Draws the virtual cameras' test patterns straight into DirectShow frame buffers. The colours
// are those the Linux build's test source draws for the same pattern and format, so a virtual
// camera looks (and for the solid patterns measures) the same on both builds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/device/capture_format.h"

namespace kovracam {

// smpte, ball, red, green, blue, white, black.
const std::vector<std::string>& paintablePatterns();

// One frame of `format` in DirectShow's layout: YUY2 top row first, RGB24 bottom row first with
// rows padded to 4 bytes, I420 planar. Writes at most `size` bytes; false for a subtype that
// cannot be drawn (MJPG) or a buffer too small for the frame.
bool paintFrame(const std::string& pattern, const CaptureFormat& format, std::uint64_t frameNumber,
                std::uint8_t* frame, std::size_t size);

}  // namespace kovracam
