#pragma once
// What a virtual camera's driver keeps of its controls: the processing amplifier's picture
// controls and the power-line frequency. The values belong to the camera, not to one filter, so
// a graph built again (a restart, another format) finds them as they were left.

#include <windows.h>

#include <array>
#include <atomic>
#include <memory>

#include "capture/pixel/picture_balance.h"
#include "capture/virtual/virtual_camera_config.h"

namespace kovracam {

// IAMVideoProcAmp's property numbers are those of the kernel-streaming set; a UVC camera's
// power-line frequency is number 13 in both.
inline constexpr long kPowerLineProperty = 13;

struct ProcAmpRange {
  long property;
  long minimum;
  long maximum;
  long step;
  long defaultValue;
};

// Brightness, contrast, hue and saturation, with the Linux virtual camera's ranges.
inline constexpr std::array<ProcAmpRange, 4> kPictureRanges{{
    {0, -100, 100, 1, 0},  // VideoProcAmp_Brightness
    {1, 0, 200, 1, 100},   // VideoProcAmp_Contrast
    {2, -180, 180, 1, 0},  // VideoProcAmp_Hue
    {3, 0, 200, 1, 100},   // VideoProcAmp_Saturation
}};

class VirtualCameraControls {
 public:
  // The controls of the camera with `camera`'s id, made from its settings on first use.
  static std::shared_ptr<VirtualCameraControls> of(const VirtualCamera& camera);

  explicit VirtualCameraControls(PowerLineSetting powerLine);

  // The range of `property`; false when the camera has no such control.
  bool range(long property, ProcAmpRange* out) const;
  bool get(long property, long* value) const;
  // E_PROP_ID_UNSUPPORTED for a control the camera lacks, E_INVALIDARG outside its range.
  HRESULT set(long property, long value);
  PictureBalance balance() const;

 private:
  std::array<std::atomic<long>, kPictureRanges.size()> m_picture;
  const bool m_bHasPowerLine;
  const long m_powerLineDefault;
  std::atomic<long> m_powerLine;
};

}  // namespace kovracam
