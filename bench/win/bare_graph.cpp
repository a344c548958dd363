// The bare graph the Windows benchmark sets beside the app: a virtual camera through a Smart
// Tee into the video renderer and, given a file name, also into the AVI multiplexer and a file
// writer. No window of ours, no grabber, no frame counting: what DirectShow costs alone. When
// no converter lets the video renderer take the subtype (YUY2 under Wine), the null renderer
// takes the preview instead, and the figures then include no drawing at all.
//
//   bare_graph YUY2|RGB24 WIDTH HEIGHT SECONDS [FILE.avi]
//
// Prints the renderer it used and the frames it drew; exits non-zero with a line on stderr
// when the graph cannot be built or run.

#include <cstdio>
#include <cwchar>
#include <string>

#include "capture/win/com_ptr.h"
#include "capture/win/dshow_missing.h"
#include "capture/win/graph_pins.h"
#include "capture/win/stream_file_writer.h"
#include "capture/win/virtual/virtual_camera_filter.h"

// amvideo.h gives the renderer's quality interface no __uuidof.
__CRT_UUID_DECL(IQualProp, 0x1bd0ecb0, 0xf8e2, 0x11ce, 0xaa, 0xc6, 0x00, 0x20, 0xaf, 0x0b, 0x99,
                0xa3)

using namespace kovracam;

namespace {

int fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "bare_graph: %s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

HRESULT addFilter(IGraphBuilder* graph, const CLSID& clsid, const wchar_t* name,
                  ComPtr<IBaseFilter>* filter) {
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter->putVoid());
  return SUCCEEDED(hr) ? graph->AddFilter(filter->get(), name) : hr;
}

ComPtr<IPin> namedPin(IBaseFilter* filter, const wchar_t* id) {
  ComPtr<IPin> pin;
  filter->FindPin(id, pin.put());
  return pin;
}

// Smart Tee's Capture output -> AVI mux -> file writer for `path`.
HRESULT addRecording(IGraphBuilder* graph, IBaseFilter* tee, const std::wstring& path) {
  ComPtr<IBaseFilter> mux;
  ComPtr<IBaseFilter> writer;
  HRESULT hr = addFilter(graph, CLSID_AviDest, L"Mux", &mux);
  if (FAILED(hr)) return hr;
  ComPtr<IConfigInterleaving> interleaving;
  if (SUCCEEDED(mux.as(&interleaving))) interleaving->put_Mode(INTERLEAVE_FULL);
  // The app's own file writer, which the app takes everywhere.
  hr = CreateStreamFileWriter(writer.put());
  if (SUCCEEDED(hr)) hr = graph->AddFilter(writer.get(), L"File Writer");
  if (FAILED(hr)) return hr;
  ComPtr<IFileSinkFilter> sink;
  hr = writer.as(&sink);
  if (SUCCEEDED(hr)) hr = sink->SetFileName(path.c_str(), nullptr);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> muxOut = freePin(mux.get(), PINDIR_OUTPUT);
  ComPtr<IPin> writerIn = freePin(writer.get(), PINDIR_INPUT);
  ComPtr<IPin> teeCapture = namedPin(tee, L"Capture");
  ComPtr<IPin> muxIn = freePin(mux.get(), PINDIR_INPUT);
  if (!muxOut || !writerIn || !teeCapture || !muxIn) return VFW_E_NOT_FOUND;
  hr = graph->ConnectDirect(muxOut.get(), writerIn.get(), nullptr);
  return SUCCEEDED(hr) ? graph->ConnectDirect(teeCapture.get(), muxIn.get(), nullptr) : hr;
}

// Messages pumped for `milliseconds`: the renderer's window may live on this thread.
void pump(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

int runGraph(Subtype subtype, int width, int height, double seconds, const wchar_t* file) {
  VirtualCamera camera;
  camera.id = "bench";
  camera.name = "Bench";
  camera.formats = {CaptureFormat{subtype, width, height, FrameRate{30, 1}}};
  ComPtr<IGraphBuilder> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph.putVoid());
  if (FAILED(hr)) return fail("the filter graph", hr);
  ComPtr<IBaseFilter> source;
  hr = CreateVirtualCameraFilter(camera, source.put());
  if (SUCCEEDED(hr)) hr = graph->AddFilter(source.get(), L"Capture Filter");
  if (FAILED(hr)) return fail("the virtual camera", hr);
  ComPtr<IBaseFilter> tee;
  ComPtr<IBaseFilter> renderer;
  hr = addFilter(graph.get(), CLSID_SmartTee, L"Smart Tee", &tee);
  if (SUCCEEDED(hr)) hr = addFilter(graph.get(), CLSID_VideoRenderer, L"Video Renderer", &renderer);
  if (FAILED(hr)) return fail("the Smart Tee or the video renderer", hr);
  ComPtr<IPin> output = freePin(source.get(), PINDIR_OUTPUT);
  ComPtr<IPin> teeIn = namedPin(tee.get(), L"Input");
  ComPtr<IPin> teePreview = namedPin(tee.get(), L"Preview");
  ComPtr<IPin> rendererIn = freePin(renderer.get(), PINDIR_INPUT);
  if (!output || !teeIn || !teePreview || !rendererIn) return fail("finding pins", E_FAIL);
  hr = graph->ConnectDirect(output.get(), teeIn.get(), nullptr);
  if (FAILED(hr)) return fail("camera -> Smart Tee", hr);
  // Through whatever converter the system has, as the app's preview connects.
  const char* rendererName = "video-renderer";
  hr = graph->Connect(teePreview.get(), rendererIn.get());
  if (FAILED(hr)) {
    graph->RemoveFilter(renderer.get());
    rendererName = "null-renderer";
    hr = addFilter(graph.get(), kClsidNullRenderer, L"Null Renderer", &renderer);
    rendererIn = SUCCEEDED(hr) ? freePin(renderer.get(), PINDIR_INPUT) : ComPtr<IPin>();
    hr = rendererIn ? graph->ConnectDirect(teePreview.get(), rendererIn.get(), nullptr) : hr;
  }
  if (FAILED(hr)) return fail("Smart Tee -> renderer", hr);
  if (file) {
    hr = addRecording(graph.get(), tee.get(), file);
    if (FAILED(hr)) return fail("Smart Tee -> AVI mux -> file writer", hr);
  }

  ComPtr<IMediaControl> control;
  hr = graph.as(&control);
  if (SUCCEEDED(hr)) hr = control->Run();
  OAFilterState state = State_Stopped;
  if (SUCCEEDED(hr)) hr = control->GetState(5000, &state);
  if (FAILED(hr) || hr == VFW_S_STATE_INTERMEDIATE || state != State_Running) {
    return fail("running the graph", FAILED(hr) ? hr : E_FAIL);
  }
  pump(static_cast<DWORD>(seconds * 1000));
  hr = control->Stop();
  if (SUCCEEDED(hr)) hr = control->GetState(5000, &state);
  if (FAILED(hr) || state != State_Stopped) return fail("stopping the graph", hr);

  int drawn = -1;
  ComPtr<IQualProp> quality;
  if (SUCCEEDED(renderer.as(&quality))) quality->get_FramesDrawn(&drawn);
  std::printf("bare-graph renderer=%s drawn=%d\n", rendererName, drawn);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5 && argc != 6) {
    std::fputs("usage: bare_graph YUY2|RGB24 WIDTH HEIGHT SECONDS [FILE.avi]\n", stderr);
    return 2;
  }
  const bool rgb = std::wcscmp(argv[1], L"RGB24") == 0;
  const int width = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
  const int height = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
  const double seconds = std::wcstod(argv[4], nullptr);
  if ((!rgb && std::wcscmp(argv[1], L"YUY2") != 0) || width <= 0 || height <= 0 || width % 2 ||
      !(seconds > 0 && seconds < 3600)) {
    std::fputs(
        "bare_graph: YUY2 or RGB24, WIDTH and HEIGHT positive (WIDTH even), SECONDS "
        "under an hour\n",
        stderr);
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return fail("CoInitialize", E_FAIL);
  const int result = runGraph(rgb ? Subtype::RGB24 : Subtype::YUY2, width, height, seconds,
                              argc == 6 ? argv[5] : nullptr);
  CoUninitialize();
  std::fflush(stdout);
  return result;
}
