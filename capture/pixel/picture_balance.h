#pragma once
// Brightness, contrast, saturation and hue applied to a camera's frames as a video balance does
// it: Y is scaled about black and shifted, the chroma pair is turned by the hue and scaled by the
// saturation. RGB24 pixels go through studio-range YUV (BT.601) and back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/device/capture_format.h"

namespace kovracam {

// In camera units: brightness -100..100 (+100 shifts black to white), contrast and saturation
// 0..200 per cent, hue -180..180 degrees.
struct PictureBalance {
  int brightness = 0;
  int contrast = 100;
  int hue = 0;
  int saturation = 100;
  bool isNeutral() const { return *this == PictureBalance{}; }
  friend bool operator==(const PictureBalance&, const PictureBalance&) = default;
};

class BalanceTables {
 public:
  explicit BalanceTables(const PictureBalance& balance);

  const PictureBalance& balance() const { return m_balance; }
  std::uint8_t luma(std::uint8_t y) const { return m_y[y]; }
  void chroma(std::uint8_t u, std::uint8_t v, std::uint8_t* outU, std::uint8_t* outV) const {
    const std::size_t i = static_cast<std::size_t>(u) << 8 | v;
    *outU = m_u[i];
    *outV = m_v[i];
  }
  // One pixel in place, blue first.
  void bgr(std::uint8_t* pixel) const;

 private:
  PictureBalance m_balance;
  std::array<std::uint8_t, 256> m_y{};
  std::vector<std::uint8_t> m_u;  // by (u << 8 | v)
  std::vector<std::uint8_t> m_v;
};

// One frame in place: YUY2 and I420 as packed/planar top-down rows, RGB24 with rows padded to 4
// bytes. false when `size` is too small for the frame or the subtype carries no pixels we know.
bool applyBalance(const BalanceTables& tables, const CaptureFormat& format, std::uint8_t* frame,
                  std::size_t size);

}  // namespace kovracam
