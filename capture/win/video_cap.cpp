// The engine's graph: building it around the chosen camera, running, stopping, releasing.

#include "capture/win/video_cap.h"

#include "capture/win/graph_pins.h"

namespace kovracam {
namespace {

// How long Run waits for a graph that is still changing its state.
constexpr LONG kRunSettleMs = 2000;

std::int64_t performanceCounterNanoseconds() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const std::int64_t f = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  return count.QuadPart / f * 1'000'000'000 + count.QuadPart % f * 1'000'000'000 / f;
}

}  // namespace

CVideoCap::CVideoCap() : m_timing(performanceCounterNanoseconds) {}

CVideoCap::~CVideoCap() {
  // A worker still running past the bound keeps its tables alive itself and frees them when done.
  joinTableWorker();
  m_pTableThread.reset();
  m_tables.reset();
  TearDown();
  if (m_hEventWindow) DestroyWindow(m_hEventWindow);
}

STDMETHODIMP CVideoCap::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (!IsEqualIID(riid, IID_ISampleGrabberCB) && !IsEqualIID(riid, IID_IUnknown)) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<ISampleGrabberCB*>(this);
  return S_OK;
}

Status CVideoCap::BuildGraph(int* width, int* height) {
  if (!width || !height) return kPointer;
  if (!m_pMoniker && !m_virtualCamera) return kNotBound;
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph.putVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IBaseFilter> source;
  hr = createSourceFilter(source.put());
  if (FAILED(hr)) return hr;
  ComPtr<ICaptureGraphBuilder2> builder;
  hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr,
                        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_ICaptureGraphBuilder2,
                        builder.putVoid());
  if (FAILED(hr)) return hr;
  hr = builder->SetFiltergraph(graph.get());
  if (FAILED(hr)) return hr;
  hr = graph->AddFilter(source.get(), L"Capture Filter");
  if (FAILED(hr)) return hr;
  ComPtr<ISampleGrabber> grabber;
  hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_ISampleGrabber,
                        grabber.putVoid());
  if (FAILED(hr)) return hr;

  // From here on a failure leaves the members set; the caller tears them down.
  m_pGraph = graph;
  m_pBuilder = builder;
  m_pSource = source;
  m_pGrabber = grabber;

  ComPtr<IBaseFilter> grabberFilter;
  hr = grabber.as(&grabberFilter);
  if (SUCCEEDED(hr)) hr = graph->AddFilter(grabberFilter.get(), L"Grab Filter");
  if (FAILED(hr)) return hr;

  ComPtr<IAMStreamConfig> config;
  hr = builder->FindInterface(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source.get(),
                              IID_IAMStreamConfig, config.putVoid());
  if (hr != S_OK) {
    hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source.get(),
                                IID_IAMStreamConfig, config.putVoid());
    if (FAILED(hr)) return hr;
  }
  // A success code other than S_OK may come without the interface.
  if (!config) return E_NOINTERFACE;
  if (applyOrReadFormat(config.get()) != S_OK) return kOk;  // built, size unknown
  setFormatOfVideoPins(source.get(), *m_pFormat);

  const auto format = captureFormatOf(*m_pFormat);
  const PixelFormat pixel = format ? pixelFormatOf(format->subtype) : kPixelNone;
  if (pixel == kPixelNone) {
    MessageBoxW(nullptr, L"This type is not support", L"Error", MB_OK);
    return kUnsupportedSubtype;
  }
  m_nPixelFormat = pixel;
  *width = m_nWidth = format->width;
  *height = m_nHeight = format->height;
  const VIDEOINFOHEADER* info = videoInfoOf(*m_pFormat);
  m_frameInterval = info ? info->AvgTimePerFrame : 0;
  return kOk;
}

// The stored format is applied again; a device that refuses it (another camera's format) gives
// its own current format instead, which is stored from then on.
HRESULT CVideoCap::applyOrReadFormat(IAMStreamConfig* config) {
  if (m_pFormat && config->SetFormat(m_pFormat.get()) == S_OK) return S_OK;
  AM_MEDIA_TYPE* current = nullptr;
  const HRESULT hr = config->GetFormat(&current);
  if (hr != S_OK) {
    deleteMediaType(current);
    return hr;
  }
  // Set as read: the pin then connects with the format the engine reports, not another of those
  // it offers (with several on offer, Wine's builder tries its 3D renderer, which fails badly
  // on a display without OpenGL).
  config->SetFormat(current);
  m_pFormat.reset(current);
  return S_OK;
}

Status CVideoCap::Run() {
  if (!m_pGraph) return kNotBound;
  ComPtr<IMediaControl> control;
  HRESULT hr = m_pGraph.as(&control);
  if (FAILED(hr)) return hr;
  watchGraphEvents();
  hr = control->Run();
  if (hr == S_FALSE) {
    // Still on its way (a renderer waits for its first frame): a short bounded wait turns that
    // into a definite answer for the callers.
    OAFilterState state = State_Stopped;
    const HRESULT settled = control->GetState(kRunSettleMs, &state);
    if ((settled == S_OK || settled == VFW_S_CANT_CUE) && state == State_Running) hr = S_OK;
    // A filter that could not start: some graphs drop its Run's failure once a renderer has
    // answered that it waits for data, and tell it only here.
    if (FAILED(settled)) hr = settled;
  }
  m_timing.reset();
  m_bRunning.store(SUCCEEDED(hr), std::memory_order_release);
  return hr;
}

Status CVideoCap::Stop() {
  if (!m_pGraph) return kNotBound;
  m_bRunning.store(false, std::memory_order_release);
  ComPtr<IMediaControl> control;
  const HRESULT hr = m_pGraph.as(&control);
  if (FAILED(hr)) return hr;
  return control->Stop();
}

void CVideoCap::TearDown() {
  m_bRunning.store(false, std::memory_order_release);
  m_frameWindow.close();  // from here on the streaming thread's frames are dropped
  m_bDrawsFrames = false;
  if (m_pGraph) {
    ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(m_pGraph.as(&events))) events->SetNotifyWindow(0, 0, 0);
  }
  m_pGraph.reset();
  m_pBuilder.reset();
  m_pSource.reset();
  m_pGrabber.reset();
  m_pMoniker.reset();
  m_virtualCamera.reset();
  m_strRecordingPath.clear();
}

}  // namespace kovracam
