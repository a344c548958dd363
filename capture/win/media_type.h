#pragma once
// AM_MEDIA_TYPE ownership and the video media types our capture formats map to.

#include <memory>
#include <optional>

#include "capture/device/capture_format.h"
#include "capture/win/dshow_missing.h"

namespace kovracam {

// Frees what a media type points to (format block, pUnk) and empties it.
void freeMediaTypeContents(AM_MEDIA_TYPE& type);
// Frees a media type that was allocated with CoTaskMemAlloc, and its contents.
void deleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy into `target` (whose old contents are not freed); E_OUTOFMEMORY on failure.
HRESULT copyMediaType(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source);
// A deep copy allocated with CoTaskMemAlloc, as DirectShow hands them out; null on failure.
AM_MEDIA_TYPE* duplicateMediaType(const AM_MEDIA_TYPE& source);

struct MediaTypeDeleter {
  void operator()(AM_MEDIA_TYPE* type) const { deleteMediaType(type); }
};
using MediaTypePtr = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

GUID subtypeGuid(Subtype subtype);
std::optional<Subtype> subtypeOfGuid(const GUID& guid);

// 100-nanosecond units per frame.
REFERENCE_TIME frameInterval(const FrameRate& rate);
// Bytes of one frame: RGB24 rows padded to 4 bytes, YUY2 2 bytes and I420 1.5 bytes a pixel.
DWORD frameBytes(const CaptureFormat& format);

// MEDIATYPE_Video / FORMAT_VideoInfo; RGB24 is bottom-up (positive height). Allocated with
// CoTaskMemAlloc; null when out of memory.
AM_MEDIA_TYPE* newVideoMediaType(const CaptureFormat& format);
// The capture format a media type describes; nullopt unless it is a video-info video type of
// one of our subtypes.
std::optional<CaptureFormat> captureFormatOf(const AM_MEDIA_TYPE& type);
// The VIDEOINFOHEADER of a media type, or null when its format block is too small for one.
const VIDEOINFOHEADER* videoInfoOf(const AM_MEDIA_TYPE& type);

}  // namespace kovracam
