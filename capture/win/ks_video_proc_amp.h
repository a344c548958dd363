#pragma once
// The kernel-streaming property set of a camera's processing amplifier, as IKsPropertySet
// carries it: the data of each property is a KSPROPERTY_VIDEOPROCAMP_S, whose KSPROPERTY header
// is followed by the value, its flags and the control's capabilities.

#include "capture/win/dshow_missing.h"
// clang-format off
#include <ksmedia.h>
// clang-format on

namespace kovracam {

// ksmedia.h declares the set for linking with ksguid; defined here in place.
inline constexpr GUID kPropSetVideoProcAmp = {
    0xC6E13360, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};

}  // namespace kovracam
