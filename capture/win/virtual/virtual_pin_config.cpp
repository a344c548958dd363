// The virtual camera pin's stream configuration, its page and its pin-category property.

#include <cstring>

#include "capture/win/virtual/virtual_camera_pages.h"
#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {
namespace {

void describeCaps(const CaptureFormat& f, VIDEO_STREAM_CONFIG_CAPS& caps) {
  std::memset(&caps, 0, sizeof caps);
  const SIZE size{f.width, f.height};
  const REFERENCE_TIME interval = frameInterval(f.fps);
  const LONG bits = static_cast<LONG>(static_cast<double>(frameBytes(f)) * 8.0 * f.fps.value());
  caps.guid = FORMAT_VideoInfo;
  caps.VideoStandard = 0;  // AnalogVideo_None
  caps.InputSize = size;
  caps.MinCroppingSize = size;
  caps.MaxCroppingSize = size;
  caps.CropGranularityX = 1;
  caps.CropGranularityY = 1;
  caps.CropAlignX = 1;
  caps.CropAlignY = 1;
  caps.MinOutputSize = size;
  caps.MaxOutputSize = size;
  caps.OutputGranularityX = 1;
  caps.OutputGranularityY = 1;
  caps.MinFrameInterval = interval;
  caps.MaxFrameInterval = interval;
  caps.MinBitsPerSecond = bits;
  caps.MaxBitsPerSecond = bits;
}

}  // namespace

STDMETHODIMP VirtualOutputPin::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  const CaptureFormat* format = offeredFormat(*type);
  if (!format) return VFW_E_INVALIDMEDIATYPE;
  if (m_connected) {
    // Changing a connected stream would need a reconnection; the same format is a no-op.
    return *format == m_current ? S_OK : VFW_E_ALREADY_CONNECTED;
  }
  m_current = *format;
  m_bFormatSet = true;
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::GetFormat(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  *type = m_connectionType ? duplicateMediaType(*m_connectionType) : newVideoMediaType(m_current);
  return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP VirtualOutputPin::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size) return E_POINTER;
  *count = static_cast<int>(m_camera.formats.size());
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  if (!type || !caps) return E_POINTER;
  if (index < 0 || static_cast<std::size_t>(index) >= m_camera.formats.size()) return S_FALSE;
  const CaptureFormat& format = m_camera.formats[static_cast<std::size_t>(index)];
  *type = newVideoMediaType(format);
  if (!*type) return E_OUTOFMEMORY;
  describeCaps(format, *reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps));
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataBytes,
                                   DWORD* returned) {
  if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (returned) *returned = sizeof(GUID);
  if (!data) return returned ? S_OK : E_POINTER;
  if (dataBytes < sizeof(GUID)) return E_UNEXPECTED;
  const GUID& category = m_role == PinRole::Preview ? PIN_CATEGORY_PREVIEW
                         : m_role == PinRole::Still ? PIN_CATEGORY_STILL
                                                    : PIN_CATEGORY_CAPTURE;
  std::memcpy(data, &category, sizeof(GUID));
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (!IsEqualGUID(set, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::GetPages(CAUUID* pages) {
  return ListOnePage(kClsidStreamFormatPage, pages);
}

}  // namespace kovracam
