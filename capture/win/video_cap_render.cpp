// The engine's preview path, its video window and the graph's failure events.

#include <algorithm>
#include <vector>

#include "capture/win/graph_pins.h"
#include "capture/win/video_cap.h"

namespace kovracam {
namespace {

constexpr UINT kGraphEventMessage = WM_APP + 0x4B1;
constexpr wchar_t kEventWindowClass[] = L"KovracamGraphEvents";

bool isStreamFailure(long code) {
  return code == EC_ERRORABORT || code == EC_DEVICE_LOST || code == EC_COMPLETE ||
         code == EC_STREAM_ERROR_STOPPED;
}

}  // namespace

Status CVideoCap::RenderPreview() {
  if (!m_pGraph) return kNotBound;
  const GUID subtype = m_pFormat ? m_pFormat->subtype : GUID_NULL;
  const bool drawable = std::find(m_undrawableSubtypes.begin(), m_undrawableSubtypes.end(),
                                  subtype) == m_undrawableSubtypes.end();
  HRESULT hr = drawable ? m_pBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video,
                                                   m_pSource.get(), nullptr, nullptr)
                        : VFW_E_CANNOT_RENDER;
  if ((hr != S_OK && hr != VFW_S_NOPREVIEWPIN) || !grabberConnected()) {
    // Wine's builder renders the source straight into a renderer, leaving the grabber out, or
    // fails half-way. The same filters connected by hand make a path Windows takes as well.
    removeFiltersAddedByRendering();
    hr = connectPreviewByHand(drawable);
    if (FAILED(hr)) return hr;
    if (m_bDrawsFrames && drawable && m_pFormat) m_undrawableSubtypes.push_back(subtype);
  }
  hr = m_pGrabber->SetOneShot(FALSE);
  if (FAILED(hr)) return hr;
  hr = m_pGrabber->SetBufferSamples(FALSE);
  if (FAILED(hr)) return hr;
  hr = m_pGrabber->SetCallback(this, 1);
  return FAILED(hr) ? hr : kOk;
}

bool CVideoCap::grabberConnected() const {
  ComPtr<IBaseFilter> grabberFilter;
  if (FAILED(m_pGrabber.as(&grabberFilter))) return false;
  return !freePin(grabberFilter.get(), PINDIR_INPUT);
}

// Back to the built graph: the camera and the grabber, unconnected.
void CVideoCap::removeFiltersAddedByRendering() {
  ComPtr<IBaseFilter> grabberFilter;
  m_pGrabber.as(&grabberFilter);
  std::vector<ComPtr<IBaseFilter>> added;
  ComPtr<IEnumFilters> filters;
  if (FAILED(m_pGraph->EnumFilters(filters.put()))) return;
  ComPtr<IBaseFilter> filter;
  while (filters->Next(1, filter.put(), nullptr) == S_OK) {
    if (filter.get() != m_pSource.get() && filter.get() != grabberFilter.get()) {
      added.push_back(filter);
    }
  }
  for (const auto& extra : added) m_pGraph->RemoveFilter(extra.get());  // disconnects it too
  for (IBaseFilter* kept : {m_pSource.get(), grabberFilter.get()}) {
    ComPtr<IEnumPins> pins;
    if (!kept || FAILED(kept->EnumPins(pins.put()))) continue;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
      ComPtr<IPin> peer;
      if (pin->ConnectedTo(peer.put()) == S_OK) {
        m_pGraph->Disconnect(peer.get());
        m_pGraph->Disconnect(pin.get());
      }
    }
  }
}

// Preview pin (or capture pin) -> "Grab Filter" -> a renderer: the plain video renderer first,
// since it draws with GDI alone where Wine's default renderer wants a DirectDraw surface that a
// bare X server lacks (Windows has it as well); then whatever the graph finds; and when nothing
// can draw the subtype (Wine without its GStreamer plugins has no YUY2 converter), the null
// renderer, so that frames still pass the grabber for the frame rate and snapshots, and the
// engine's own window shows them. Without `searchRenderers`, the null renderer at once.
HRESULT CVideoCap::connectPreviewByHand(bool searchRenderers) {
  ComPtr<IPin> output = pinOfCategory(m_pSource.get(), PIN_CATEGORY_PREVIEW);
  if (!output) output = pinOfCategory(m_pSource.get(), PIN_CATEGORY_CAPTURE);
  if (!output) output = freePin(m_pSource.get(), PINDIR_OUTPUT);
  ComPtr<IBaseFilter> grabberFilter;
  HRESULT hr = m_pGrabber.as(&grabberFilter);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> grabberIn = freePin(grabberFilter.get(), PINDIR_INPUT);
  ComPtr<IPin> grabberOut = freePin(grabberFilter.get(), PINDIR_OUTPUT);
  if (!output || !grabberIn || !grabberOut) return VFW_E_NOT_FOUND;
  hr = m_pGraph->Connect(output.get(), grabberIn.get());
  if (FAILED(hr)) return hr;
  if (searchRenderers &&
      SUCCEEDED(connectToNewFilter(grabberOut.get(), CLSID_VideoRenderer, L"Video Renderer"))) {
    return S_OK;
  }
  if (searchRenderers && SUCCEEDED(m_pGraph->Render(grabberOut.get()))) return S_OK;
  hr = connectToNewFilter(grabberOut.get(), kClsidNullRenderer, L"Null Renderer");
  m_bDrawsFrames = SUCCEEDED(hr);
  return hr;
}

// A new filter of `clsid` in the graph with `output` connected to it; removed again on failure.
HRESULT CVideoCap::connectToNewFilter(IPin* output, const CLSID& clsid, const wchar_t* name) {
  ComPtr<IBaseFilter> filter;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.putVoid());
  if (FAILED(hr)) return hr;
  hr = m_pGraph->AddFilter(filter.get(), name);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> input = freePin(filter.get(), PINDIR_INPUT);
  hr = input ? m_pGraph->Connect(output, input.get()) : VFW_E_NOT_FOUND;
  if (FAILED(hr)) m_pGraph->RemoveFilter(filter.get());
  return hr;
}

Status CVideoCap::PlaceVideoWindow(HWND owner, int width, int height) {
  if (!m_pGraph) return kNotBound;  // no graph: nothing to place
  if (m_bDrawsFrames) {
    return m_frameWindow.place(owner, 0, 50, width, height) ? kOk
                                                            : HRESULT_FROM_WIN32(GetLastError());
  }
  ComPtr<IVideoWindow> window;
  const HRESULT hr = m_pGraph.as(&window);
  if (FAILED(hr)) return hr;
  window->put_Owner(reinterpret_cast<OAHWND>(owner));
  window->put_WindowStyle(WS_CHILD);
  window->SetWindowPosition(0, 50, width, height);
  window->put_Visible(OATRUE);
  return kOk;
}

// The graph reports failures to a message-only window of ours on this thread, so that they are
// handled here and never on a streaming thread.
HRESULT CVideoCap::watchGraphEvents() {
  if (!m_hEventWindow) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = eventWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kEventWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    m_hEventWindow = CreateWindowExW(0, kEventWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, windowClass.hInstance, nullptr);
    if (!m_hEventWindow) return HRESULT_FROM_WIN32(GetLastError());
    SetWindowLongPtrW(m_hEventWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ComPtr<IMediaEventEx> events;
  const HRESULT hr = m_pGraph.as(&events);
  if (FAILED(hr)) return hr;
  return events->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hEventWindow), kGraphEventMessage, 0);
}

LRESULT CALLBACK CVideoCap::eventWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == kGraphEventMessage) {
    auto* engine = reinterpret_cast<CVideoCap*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (engine) engine->drainGraphEvents();
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

void CVideoCap::drainGraphEvents() {
  if (!m_pGraph) return;
  ComPtr<IMediaEventEx> events;
  if (FAILED(m_pGraph.as(&events))) return;
  long code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  long failure = 0;
  HRESULT cause = S_OK;
  while (events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
    // The cause (error, device lost) rather than the end of stream it led to.
    if (isStreamFailure(code) && (failure == 0 || failure == EC_COMPLETE)) {
      failure = code;
      const bool carriesCause = code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED;
      cause = carriesCause ? static_cast<HRESULT>(param1) : S_OK;
    }
    events->FreeEventParams(code, param1, param2);
  }
  if (failure == 0 || !isRunning()) return;
  m_hrStreamFailure = cause;
  Stop();  // the camera streams no more: end the preview, keep the graph for the caller
  if (m_onStreamFailed) m_onStreamFailed(failure);
}

}  // namespace kovracam
