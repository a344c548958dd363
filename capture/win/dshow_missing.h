#pragma once
// DirectShow declarations that mingw-w64's headers lack, in one place. Everything the Windows
// capture code needs from DirectShow comes in through this header.

#include <windows.h>
// clang-format off
#include <dshow.h>
#include <qedit.h>
#include <ks.h>
// clang-format on

// control.h gives these interfaces no __uuidof.
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
                0x70)
__CRT_UUID_DECL(IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
                0x70)

namespace kovracam {

// qedit.h declares the sample grabber's interfaces but not the class that implements them.
inline constexpr GUID kClsidSampleGrabber = {
    0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// The renderer that takes every frame and shows none, from the same library.
inline constexpr GUID kClsidNullRenderer = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

// uuids.h has no planar 4:2:0 subtype; like every FOURCC subtype it is the FOURCC followed by
// the fixed tail 0000-0010-8000-00AA00389B71.
inline constexpr GUID kMediaSubtypeI420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

}  // namespace kovracam
