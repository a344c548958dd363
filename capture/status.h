#pragma once
// Engine results are 32-bit statuses: 0 success, 1 as documented per operation, negative failure.
// Callers treat any non-zero value as failure and pass it upward unchanged.

#include <cstdint>

namespace kovracam {

using Status = std::int32_t;

inline constexpr Status kOk = 0;
// EnumDevices: no video-input device. BuildGraph: unsupported capture subtype.
inline constexpr Status kFalse = 1;
inline constexpr Status kNoDevice = kFalse;
inline constexpr Status kUnsupportedSubtype = kFalse;
// RenderPreview: the device has no separate preview output; still success.
inline constexpr Status kNoPreviewPin = 0x0004027E;

inline constexpr Status kFail = static_cast<Status>(0x80004005u);
inline constexpr Status kNoInterface = static_cast<Status>(0x80004002u);
inline constexpr Status kAccessDenied = static_cast<Status>(0x80070005u);
inline constexpr Status kPointer = static_cast<Status>(0x80004003u);
inline constexpr Status kUnexpected = static_cast<Status>(0x8000FFFFu);
inline constexpr Status kInvalidArg = static_cast<Status>(0x80070057u);
inline constexpr Status kOutOfMemory = static_cast<Status>(0x8007000Eu);
// No device answers to the display name (unplugged, renamed, malformed name).
inline constexpr Status kDeviceNotFound = static_cast<Status>(0x80070002u);
// The device exists but cannot be opened or streamed (busy, vanished, pipeline refused).
inline constexpr Status kDeviceUnavailable = static_cast<Status>(0x800700AAu);
// An operation that needs a graph or a bound device was called without one.
inline constexpr Status kNotBound = static_cast<Status>(0x80040209u);

// StartFileCapture: the camera's capture format states no frame duration, which the AVI file
// needs; nothing was built for the recording. (Customer bit set: no system code means this.)
inline constexpr Status kNoFrameDuration = static_cast<Status>(0xA0040001u);

inline constexpr bool succeeded(Status s) { return s >= 0; }

}  // namespace kovracam
