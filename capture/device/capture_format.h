#pragma once
// A capture format: subtype, frame size and frame rate.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovracam {

// The subtypes a camera may offer. Only YUY2 and RGB24 can be previewed and grabbed.
enum class Subtype { YUY2, RGB24, MJPG, I420 };

// The engine's code for an accepted subtype (m_nPixelFormat).
enum PixelFormat : std::int32_t { kPixelNone = 0, kPixelRGB24 = 1, kPixelYUY2 = 2 };

struct FrameRate {
  int num = 30;
  int den = 1;
  double value() const { return den ? static_cast<double>(num) / den : 0.0; }
  friend bool operator==(const FrameRate&, const FrameRate&) = default;
};

struct CaptureFormat {
  Subtype subtype = Subtype::YUY2;
  int width = 0;
  int height = 0;
  FrameRate fps;
  friend bool operator==(const CaptureFormat&, const CaptureFormat&) = default;
};

const char* subtypeName(Subtype s);  // "YUY2", "RGB24", "MJPG", "I420"
std::optional<Subtype> subtypeFromName(const std::string& name);
PixelFormat pixelFormatOf(Subtype s);  // kPixelNone for the unsupported ones
// "YUY2 640x480@30" / "YUY2 320x240@7.5"
std::string describe(const CaptureFormat& f);

// The format to capture at the first build: the current one when it is YUY2 or RGB24, else the
// offered YUY2 format closest in size to the current one, else the closest RGB24 one.
std::optional<CaptureFormat> chooseCaptureFormat(const CaptureFormat& current,
                                                 const std::vector<CaptureFormat>& offered);

}  // namespace kovracam
