// The engine's side of the camera's own controls: the capture filter's and the capture pin's
// property pages, and the power-line (anti-flicker) frequency.

#include <optional>

#include "capture/win/graph_pins.h"
#include "capture/win/power_line.h"
#include "capture/win/video_cap.h"
#include "capture/win/virtual/virtual_camera_pages.h"

namespace kovracam {
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
  setFormatOfVideoPins(m_pSource.get(), *chosen);  // a preview pin follows
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
  return m_pSource ? readPowerLineFrequency(m_pSource.get()) : -1;
}

void CVideoCap::SetPowerLineFrequency(int value) {
  if (m_pSource) writePowerLineFrequency(m_pSource.get(), value);
}

}  // namespace kovracam
