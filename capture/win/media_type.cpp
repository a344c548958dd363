#include "capture/win/media_type.h"

#include <algorithm>
#include <cstring>

namespace kovracam {

void freeMediaTypeContents(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 && type.pbFormat) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk) type.pUnk->Release();
  type.pUnk = nullptr;
}

void deleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  freeMediaTypeContents(*type);
  CoTaskMemFree(type);
}

HRESULT copyMediaType(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source) {
  target = source;
  if (source.cbFormat != 0 && source.pbFormat) {
    target.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
    if (!target.pbFormat) {
      target.cbFormat = 0;
      target.pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
  } else {
    target.cbFormat = 0;
    target.pbFormat = nullptr;
  }
  if (target.pUnk) target.pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* duplicateMediaType(const AM_MEDIA_TYPE& source) {
  auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!copy) return nullptr;
  if (FAILED(copyMediaType(*copy, source))) {
    CoTaskMemFree(copy);
    return nullptr;
  }
  return copy;
}

GUID subtypeGuid(Subtype subtype) {
  switch (subtype) {
    case Subtype::YUY2:
      return MEDIASUBTYPE_YUY2;
    case Subtype::RGB24:
      return MEDIASUBTYPE_RGB24;
    case Subtype::MJPG:
      return MEDIASUBTYPE_MJPG;
    case Subtype::I420:
      break;
  }
  return kMediaSubtypeI420;
}

std::optional<Subtype> subtypeOfGuid(const GUID& guid) {
  for (Subtype s : {Subtype::YUY2, Subtype::RGB24, Subtype::MJPG, Subtype::I420}) {
    if (IsEqualGUID(guid, subtypeGuid(s))) return s;
  }
  return std::nullopt;
}

REFERENCE_TIME frameInterval(const FrameRate& rate) {
  if (rate.num <= 0) return 0;
  return std::max<REFERENCE_TIME>(0, 10'000'000LL * rate.den / rate.num);  // none for a rate < 0
}

namespace {

struct SubtypeLayout {
  WORD bitCount;
  DWORD compression;
};

SubtypeLayout layoutOf(Subtype subtype) {
  switch (subtype) {
    case Subtype::YUY2:
      return {16, MAKEFOURCC('Y', 'U', 'Y', '2')};
    case Subtype::RGB24:
      return {24, BI_RGB};
    case Subtype::MJPG:
      return {24, MAKEFOURCC('M', 'J', 'P', 'G')};
    case Subtype::I420:
      break;
  }
  return {12, MAKEFOURCC('I', '4', '2', '0')};
}

}  // namespace

DWORD frameBytes(const CaptureFormat& format) {
  const DWORD width = static_cast<DWORD>(format.width);
  const DWORD height = static_cast<DWORD>(format.height);
  switch (format.subtype) {
    case Subtype::RGB24:
      return ((width * 3 + 3) & ~3u) * height;
    case Subtype::YUY2:
      return width * 2 * height;
    case Subtype::MJPG:  // a compressed frame stays below the raw size
    case Subtype::I420:
      break;
  }
  return width * height + 2 * (((width + 1) / 2) * ((height + 1) / 2));
}

AM_MEDIA_TYPE* newVideoMediaType(const CaptureFormat& format) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (!type || !info) {
    CoTaskMemFree(type);
    CoTaskMemFree(info);
    return nullptr;
  }
  std::memset(info, 0, sizeof *info);
  const SubtypeLayout layout = layoutOf(format.subtype);
  info->AvgTimePerFrame = frameInterval(format.fps);
  info->dwBitRate =
      static_cast<DWORD>(static_cast<double>(frameBytes(format)) * 8.0 * format.fps.value());
  BITMAPINFOHEADER& bmi = info->bmiHeader;
  bmi.biSize = sizeof(BITMAPINFOHEADER);
  bmi.biWidth = format.width;
  bmi.biHeight = format.height;
  bmi.biPlanes = 1;
  bmi.biBitCount = layout.bitCount;
  bmi.biCompression = layout.compression;
  bmi.biSizeImage = frameBytes(format);

  std::memset(type, 0, sizeof *type);
  type->majortype = MEDIATYPE_Video;
  type->subtype = subtypeGuid(format.subtype);
  type->bFixedSizeSamples = format.subtype != Subtype::MJPG;
  type->bTemporalCompression = FALSE;
  type->lSampleSize = format.subtype == Subtype::MJPG ? 0 : bmi.biSizeImage;
  type->formattype = FORMAT_VideoInfo;
  type->cbFormat = sizeof(VIDEOINFOHEADER);
  type->pbFormat = reinterpret_cast<BYTE*>(info);
  return type;
}

const VIDEOINFOHEADER* videoInfoOf(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

std::optional<CaptureFormat> captureFormatOf(const AM_MEDIA_TYPE& type) {
  if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) ||
      !IsEqualGUID(type.formattype, FORMAT_VideoInfo)) {
    return std::nullopt;
  }
  const auto subtype = subtypeOfGuid(type.subtype);
  const VIDEOINFOHEADER* info = videoInfoOf(type);
  if (!subtype || !info) return std::nullopt;
  CaptureFormat format{*subtype, static_cast<int>(info->bmiHeader.biWidth),
                       static_cast<int>(info->bmiHeader.biHeight), FrameRate{}};
  if (info->AvgTimePerFrame > 0) {
    // Keep the exact fraction of the rate we describe ourselves: 10^7 / interval.
    format.fps = FrameRate{10'000'000, static_cast<int>(info->AvgTimePerFrame)};
  }
  return format;
}

}  // namespace kovracam
