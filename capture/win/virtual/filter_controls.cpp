// The virtual camera filter's processing amplifier: IAMVideoProcAmp, the kernel-streaming
// video-processing property set through IKsPropertySet, and the amplifier's page.

#include <cstring>

#include "capture/win/ks_video_proc_amp.h"
#include "capture/win/virtual/virtual_camera_pages.h"
#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {
namespace {

constexpr LONG kManual = VideoProcAmp_Flags_Manual;  // the KS set's manual flag has the same value

}  // namespace

STDMETHODIMP VirtualFilterControls::GetRange(LONG property, LONG* minimum, LONG* maximum,
                                             LONG* step, LONG* defaultValue, LONG* capsFlags) {
  if (!minimum || !maximum || !step || !defaultValue || !capsFlags) return E_POINTER;
  ProcAmpRange range{};
  if (!m_values->range(property, &range)) return E_PROP_ID_UNSUPPORTED;
  *minimum = range.minimum;
  *maximum = range.maximum;
  *step = range.step;
  *defaultValue = range.defaultValue;
  *capsFlags = kManual;
  return S_OK;
}

STDMETHODIMP VirtualFilterControls::Set(LONG property, LONG value, LONG) {
  return m_values->set(property, value);
}

STDMETHODIMP VirtualFilterControls::Get(LONG property, LONG* value, LONG* flags) {
  if (!value || !flags) return E_POINTER;
  if (!m_values->get(property, value)) return E_PROP_ID_UNSUPPORTED;
  *flags = kManual;
  return S_OK;
}

// The data of every property of the set is a whole KSPROPERTY_VIDEOPROCAMP_S.
STDMETHODIMP VirtualFilterControls::Set(REFGUID set, DWORD id, void*, DWORD, void* data,
                                        DWORD dataBytes) {
  if (!IsEqualGUID(set, kPropSetVideoProcAmp)) return E_PROP_SET_UNSUPPORTED;
  ProcAmpRange range{};
  if (!m_values->range(static_cast<long>(id), &range)) return E_PROP_ID_UNSUPPORTED;
  if (!data) return E_POINTER;
  if (dataBytes < sizeof(KSPROPERTY_VIDEOPROCAMP_S)) return E_INVALIDARG;
  KSPROPERTY_VIDEOPROCAMP_S property;
  std::memcpy(&property, data, sizeof property);
  return m_values->set(static_cast<long>(id), property.Value);
}

STDMETHODIMP VirtualFilterControls::Get(REFGUID set, DWORD id, void*, DWORD, void* data,
                                        DWORD dataBytes, DWORD* returned) {
  if (!IsEqualGUID(set, kPropSetVideoProcAmp)) return E_PROP_SET_UNSUPPORTED;
  long value = 0;
  if (!m_values->get(static_cast<long>(id), &value)) return E_PROP_ID_UNSUPPORTED;
  if (returned) *returned = sizeof(KSPROPERTY_VIDEOPROCAMP_S);
  if (!data) return returned ? S_OK : E_POINTER;  // asked for the size only
  if (dataBytes < sizeof(KSPROPERTY_VIDEOPROCAMP_S)) return E_INVALIDARG;
  KSPROPERTY_VIDEOPROCAMP_S property;
  std::memcpy(&property, data, sizeof property);
  property.Property.Set = kPropSetVideoProcAmp;
  property.Property.Id = id;
  property.Value = value;
  property.Flags = kManual;
  property.Capabilities = kManual;
  std::memcpy(data, &property, sizeof property);
  return S_OK;
}

STDMETHODIMP VirtualFilterControls::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (!IsEqualGUID(set, kPropSetVideoProcAmp)) return E_PROP_SET_UNSUPPORTED;
  ProcAmpRange range{};
  if (!m_values->range(static_cast<long>(id), &range)) return E_PROP_ID_UNSUPPORTED;
  if (support) *support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
  return S_OK;
}

STDMETHODIMP VirtualFilterControls::GetPages(CAUUID* pages) {
  return ListOnePage(kClsidProcAmpPage, pages);
}

}  // namespace kovracam
