// The engine's side of the camera's own controls: the capture filter's and the capture pin's
// property pages, and the power-line (anti-flicker) frequency.

#include <optional>

#include "capture/win/graph_pins.h"
#include "capture/win/ks_video_proc_amp.h"
#include "capture/win/video_cap.h"
#include "capture/win/virtual/virtual_camera_pages.h"

namespace kovracam {
namespace {

constexpr DWORD kPowerLineId = KSPROPERTY_VIDEOPROCAMP_POWERLINE_FREQUENCY;  // 13
constexpr LONG kManualFlags = KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;

struct PowerLineReading {
  LONG value;
  LONG flags;
};

// The kernel-streaming property of the video-processing set, as a UVC camera's driver has it.
std::optional<PowerLineReading> readKsPowerLine(IKsPropertySet* properties) {
  KSPROPERTY_VIDEOPROCAMP_S data{};
  data.Property.Set = kPropSetVideoProcAmp;
  data.Property.Id = kPowerLineId;
  data.Property.Flags = KSPROPERTY_TYPE_GET;
  DWORD returned = 0;
  // The instance data is what follows the KSPROPERTY header.
  const HRESULT hr =
      properties->Get(kPropSetVideoProcAmp, kPowerLineId, &data.Value,
                      sizeof data - sizeof data.Property, &data, sizeof data, &returned);
  if (hr != S_OK) return std::nullopt;
  return PowerLineReading{data.Value, static_cast<LONG>(data.Flags)};
}

HRESULT writeKsPowerLine(IKsPropertySet* properties, LONG value, LONG flags) {
  KSPROPERTY_VIDEOPROCAMP_S data{};
  data.Property.Set = kPropSetVideoProcAmp;
  data.Property.Id = kPowerLineId;
  data.Property.Flags = KSPROPERTY_TYPE_SET;
  data.Value = value;
  data.Flags = static_cast<ULONG>(flags);
  return properties->Set(kPropSetVideoProcAmp, kPowerLineId, &data.Value,
                         sizeof data - sizeof data.Property, &data, sizeof data);
}

// A filter without the property set may still answer IAMVideoProcAmp's number 13.
std::optional<PowerLineReading> readProcAmpPowerLine(IAMVideoProcAmp* amp) {
  LONG value = 0;
  LONG flags = 0;
  if (amp->Get(static_cast<LONG>(kPowerLineId), &value, &flags) != S_OK) return std::nullopt;
  return PowerLineReading{value, flags};
}

}  // namespace

void CVideoCap::ShowFilterProperties(HWND owner) {
  if (!m_pSource) return;
  ComPtr<ISpecifyPropertyPages> specify;
  if (FAILED(m_pSource.as(&specify))) return;
  FILTER_INFO info{};
  if (FAILED(m_pSource->QueryFilterInfo(&info))) info = FILTER_INFO{};
  ComPtr<IUnknown> filter;
  m_pSource.as(&filter);
  CAUUID pages{0, nullptr};
  const HRESULT listed = specify->GetPages(&pages);
  specify.reset();
  // No pages: nothing to show, rather than an empty frame.
  if (SUCCEEDED(listed) && pages.cElems > 0 && filter) {
    const VirtualCameraPageClasses ourPages;  // creatable while the frame shows
    IUnknown* objects[] = {filter.get()};
    OleCreatePropertyFrame(owner, 0, 0, info.achName, 1, objects, pages.cElems, pages.pElems, 0, 0,
                           nullptr);
  }
  filter.reset();
  if (info.pGraph) info.pGraph->Release();
  CoTaskMemFree(pages.pElems);
}

void CVideoCap::ShowPinProperties(HWND owner, int* width, int* height) {
  if (!m_pSource || !m_pBuilder || !width || !height) return;
  ComPtr<IAMStreamConfig> config;
  if (m_pBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_pSource.get(),
                                IID_IAMStreamConfig, config.putVoid()) != S_OK &&
      m_pBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSource.get(),
                                IID_IAMStreamConfig, config.putVoid()) != S_OK) {
    return;
  }
  ComPtr<ISpecifyPropertyPages> specify;
  if (config.as(&specify) != S_OK) return;
  CAUUID pages{0, nullptr};
  HRESULT status = specify->GetPages(&pages);
  specify.reset();
  if (status == S_OK && pages.cElems == 0) status = S_FALSE;  // nothing to show
  if (status == S_OK) {
    const VirtualCameraPageClasses ourPages;
    IUnknown* objects[] = {config.get()};
    status = OleCreatePropertyFrame(owner, 30, 30, nullptr, 1, objects, pages.cElems, pages.pElems,
                                    0, 0, nullptr);
  }
  CoTaskMemFree(pages.pElems);
  if (status != S_OK) return;

  // Shown and closed, by OK or Cancel: the pin's format is read again.
  ComPtr<IAMStreamConfig> videoConfig;
  if (m_pBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSource.get(),
                                IID_IAMStreamConfig, videoConfig.putVoid()) != S_OK) {
    return;
  }
  m_pFormat.reset();
  AM_MEDIA_TYPE* chosen = nullptr;
  if (config->GetFormat(&chosen) != S_OK) {
    deleteMediaType(chosen);
    return;
  }
  m_pFormat.reset(chosen);
  setFormatOfVideoPins(m_pSource.get(), chosen);  // a preview pin follows
  const auto format = chosen ? captureFormatOf(*chosen) : std::nullopt;
  const PixelFormat pixel = format ? pixelFormatOf(format->subtype) : kPixelNone;
  if (pixel == kPixelNone) {
    MessageBoxW(nullptr, L"This type is not support", L"Error", MB_OK);
    return;
  }
  m_nPixelFormat = pixel;
  *width = m_nWidth = format->width;
  *height = m_nHeight = format->height;
  const VIDEOINFOHEADER* video = videoInfoOf(*chosen);
  m_frameInterval = video ? video->AvgTimePerFrame : 0;
}

int CVideoCap::GetPowerLineFrequency() {
  if (!m_pSource) return -1;
  ComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(m_pSource.as(&properties))) {
    if (const auto reading = readKsPowerLine(properties.get())) return reading->value;
  }
  ComPtr<IAMVideoProcAmp> amp;
  if (FAILED(m_pSource.as(&amp))) return -1;
  const auto reading = readProcAmpPowerLine(amp.get());
  return reading ? reading->value : -1;
}

// The flags are the camera's current ones; manual when they cannot be read.
void CVideoCap::SetPowerLineFrequency(int value) {
  if (!m_pSource) return;
  ComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(m_pSource.as(&properties))) {
    if (const auto reading = readKsPowerLine(properties.get())) {
      writeKsPowerLine(properties.get(), value, reading->flags);  // a refusal shows when read
      return;
    }
  }
  ComPtr<IAMVideoProcAmp> amp;
  if (FAILED(m_pSource.as(&amp))) return;
  const auto reading = readProcAmpPowerLine(amp.get());
  amp->Set(static_cast<LONG>(kPowerLineId), value, reading ? reading->flags : kManualFlags);
}

}  // namespace kovracam
