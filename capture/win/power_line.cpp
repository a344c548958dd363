// The power-line frequency: the processing amplifier's property 13, through IAMVideoProcAmp.

#include "capture/win/power_line.h"

#include "capture/win/com_ptr.h"
#include "capture/win/ks_video_proc_amp.h"

namespace kovracam {
namespace {

constexpr LONG kPowerLineId = KSPROPERTY_VIDEOPROCAMP_POWERLINE_FREQUENCY;  // 13
constexpr LONG kManualFlags = KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;

}  // namespace

// A filter that has the control only in its kernel-streaming property set, and not through
// IAMVideoProcAmp, counts as having none: the Frequency submenu is then grayed.
int readPowerLineFrequency(IUnknown* filter) {
  ComPtr<IAMVideoProcAmp> amp;
  if (!filter || FAILED(filter->QueryInterface(IID_IAMVideoProcAmp, amp.putVoid()))) return -1;
  LONG value = 0;
  LONG flags = 0;
  return amp->Get(kPowerLineId, &value, &flags) == S_OK ? static_cast<int>(value) : -1;
}

// The flags are the camera's current ones; manual when they cannot be read.
void writePowerLineFrequency(IUnknown* filter, int value) {
  ComPtr<IAMVideoProcAmp> amp;
  if (!filter || FAILED(filter->QueryInterface(IID_IAMVideoProcAmp, amp.putVoid()))) return;
  LONG current = 0;
  LONG flags = kManualFlags;
  if (amp->Get(kPowerLineId, &current, &flags) != S_OK) flags = kManualFlags;
  amp->Set(kPowerLineId, value, flags);  // a refusal shows at the next read
}

}  // namespace kovracam
