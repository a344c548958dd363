#pragma once
// Reads a V4L2 capture node's current and offered formats as CaptureFormats. Pixel formats that
// have no Subtype are left out.

#include <cstdint>
#include <optional>
#include <vector>

#include "capture/device/capture_format.h"
#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {

// A frame rate the device does not report (no G_PARM and no enumerable intervals).
inline constexpr FrameRate kUnknownFrameRate{0, 1};

// YUYV -> YUY2, BGR24 -> RGB24, MJPEG -> MJPG, YUV420 -> I420; nullopt for any other.
std::optional<Subtype> subtypeOfPixelFormat(std::uint32_t pixelFormat);
std::uint32_t pixelFormatOfSubtype(Subtype subtype);

// Frames per second for a frame interval of numerator/denominator seconds, as a reduced
// fraction; nullopt for an empty interval.
std::optional<FrameRate> rateOfInterval(std::uint32_t numerator, std::uint32_t denominator);

// The node's current format; nullopt when it cannot be read or has no Subtype.
std::optional<CaptureFormat> readCurrentFormat(V4l2Io& io, int fd);

// Every offered format in the driver's order: formats, then sizes, then rates. Size ranges give
// the common sizes inside them. Empty when the device vanished on the way.
std::vector<CaptureFormat> readOfferedFormats(V4l2Io& io, int fd);

}  // namespace kovracam
