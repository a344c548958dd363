#pragma once
// The camera's power-line (anti-flicker) frequency: 1 = 50 Hz, 2 = 60 Hz.

#include "capture/win/dshow_missing.h"

namespace kovracam {

// The value `filter` reports through IAMVideoProcAmp, 1 and 2 or others as the camera has them;
// -1 when it has no IAMVideoProcAmp or the read fails.
int readPowerLineFrequency(IUnknown* filter);
// Sets `value` with the camera's current control flags; a refusal shows at the next read.
void writePowerLineFrequency(IUnknown* filter, int value);

}  // namespace kovracam
