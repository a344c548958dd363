#include "capture/device/capture_format.h"

#include <cstdio>
#include <cstdlib>

namespace kovracam {

namespace {

struct SubtypeName {
  Subtype subtype;
  const char* name;
};
constexpr SubtypeName kSubtypeNames[] = {{Subtype::YUY2, "YUY2"},
                                         {Subtype::RGB24, "RGB24"},
                                         {Subtype::MJPG, "MJPG"},
                                         {Subtype::I420, "I420"}};

// A frame rate as a short decimal: whole rates without a point, others with at most three
// decimals and no trailing zeros (15/2 is "7.5", 30000/1001 is "29.97").
std::string rateText(const FrameRate& fps) {
  if (fps.den != 0 && fps.num % fps.den == 0) return std::to_string(fps.num / fps.den);
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", fps.value());
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// The offered format of `subtype` whose size is closest to `current` (|dw| + |dh|); the first one
// offered wins a tie.
std::optional<CaptureFormat> closestOf(Subtype subtype, const CaptureFormat& current,
                                       const std::vector<CaptureFormat>& offered) {
  std::optional<CaptureFormat> best;
  long bestDistance = 0;
  for (const CaptureFormat& f : offered) {
    if (f.subtype != subtype) continue;
    const long distance = std::labs(static_cast<long>(f.width) - current.width) +
                          std::labs(static_cast<long>(f.height) - current.height);
    if (!best || distance < bestDistance) {
      best = f;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

const char* subtypeName(Subtype s) {
  for (const SubtypeName& entry : kSubtypeNames) {
    if (entry.subtype == s) return entry.name;
  }
  return "?";
}

std::optional<Subtype> subtypeFromName(const std::string& name) {
  for (const SubtypeName& entry : kSubtypeNames) {
    if (name == entry.name) return entry.subtype;
  }
  return std::nullopt;
}

PixelFormat pixelFormatOf(Subtype s) {
  switch (s) {
    case Subtype::YUY2:
      return kPixelYUY2;
    case Subtype::RGB24:
      return kPixelRGB24;
    case Subtype::MJPG:
    case Subtype::I420:
      break;
  }
  return kPixelNone;
}

std::string describe(const CaptureFormat& f) {
  return std::string(subtypeName(f.subtype)) + " " + std::to_string(f.width) + "x" +
         std::to_string(f.height) + "@" + rateText(f.fps);
}

std::optional<CaptureFormat> chooseCaptureFormat(const CaptureFormat& current,
                                                 const std::vector<CaptureFormat>& offered) {
  if (pixelFormatOf(current.subtype) != kPixelNone) return current;
  if (auto yuy2 = closestOf(Subtype::YUY2, current, offered)) return yuy2;
  return closestOf(Subtype::RGB24, current, offered);
}

}  // namespace kovracam
