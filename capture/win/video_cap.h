#pragma once
// The capture engine of the Windows build: lists and binds cameras, builds and runs their
// DirectShow graph (preview through a sample grabber into a video window under the banner),
// counts and times the frames, and hands single frames over for snapshots.
//
// Threads: every operation runs on the user-interface thread, which has initialised COM, except
// BufferCB, which DirectShow's streaming thread calls for every frame. The two share only
// FrameTiming (under its lock), SnapshotHandover (an atomic flag plus an event) and, when the
// engine draws the preview itself, FrameWindow's slot (under its lock).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/win/win_handle.h"
#include "capture/device/capture_format.h"
#include "capture/device/device_record.h"
#include "capture/frame_timing.h"
#include "capture/pixel/pixel_conversion.h"
#include "capture/snapshot_handover.h"
#include "capture/status.h"
#include "capture/virtual/virtual_camera_config.h"
#include "capture/win/com_ptr.h"
#include "capture/win/dshow_missing.h"
#include "capture/win/frame_window.h"
#include "capture/win/media_type.h"

namespace kovracam {

class CVideoCap : public ISampleGrabberCB {
 public:
  CVideoCap();
  virtual ~CVideoCap();
  CVideoCap(const CVideoCap&) = delete;
  CVideoCap& operator=(const CVideoCap&) = delete;

  // The grabber's callback object. The engine lives as long as its owner: counting is a no-op.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 0; }
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_FALSE; }
  // Streaming thread, once per frame.
  STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

  // Devices: the system's video-input devices in its order, then the virtual cameras; at most
  // kMaxListedDevices. kNoDevice when there is none at all.
  Status EnumDevices(DeviceList* list);
  Status SelectDevice(const std::string& displayName);

  // Graph.
  Status BuildGraph(int* width, int* height);
  Status RenderPreview();
  Status PlaceVideoWindow(HWND owner, int width, int height);
  // Preview as RenderPreview, and the capture stream into an AVI file at `path`; runs the graph.
  Status StartFileCapture(const std::wstring& path, HWND owner, int width, int height);
  // kNoFrameDuration when the camera's capture format states no frame duration, which an AVI
  // recording needs (StartFileCapture would refuse); kOk otherwise, and without a graph.
  Status CheckRecordable() const;
  Status Run();
  Status Stop();
  void TearDown();

  // Frames.
  // Fills the conversion tables; the engine's own is BuildConversionTables.
  using TableFiller = void (*)(ConversionTables& tables);
  // Allocates the conversion tables and starts the worker that fills them with `fill`.
  void Prepare(TableFiller fill = BuildConversionTables);
  // 1 when `bits` (bottom-up 24-bit rows, each padded to 4 bytes) holds the next frame; 0 when
  // the block is too small, no graph runs, or no frame came in time.
  int GetSnapshot(std::uint8_t* bits, std::size_t length);
  Status GetFrameRate(double* rate);

  // The camera's own controls (video_cap_controls.cpp). All need a built graph and do nothing
  // without one.
  // The capture filter's property pages, modal, owned by `owner`; the graph keeps running.
  void ShowFilterProperties(HWND owner);
  // The capture pin's pages, between building and rendering; then the pin's format is read
  // again into the engine and, when it is one we take, into *width and *height.
  void ShowPinProperties(HWND owner, int* width, int* height);
  // 1 = 50 Hz, 2 = 60 Hz, other values as the camera reports them; -1 when it has no such control.
  int GetPowerLineFrequency();
  void SetPowerLineFrequency(int value);

  bool isRunning() const { return m_bRunning.load(std::memory_order_acquire); }
  bool hasGraph() const { return static_cast<bool>(m_pGraph); }
  int pixelFormat() const { return m_nPixelFormat; }
  IBaseFilter* captureFilter() const { return m_pSource.get(); }

  // The file being recorded, from StartFileCapture until TearDown; empty when none.
  const std::wstring& recordingPath() const { return m_strRecordingPath; }
  // The cause the graph gave with its latest failure event; S_OK when it gave none.
  HRESULT streamFailureCause() const { return m_hrStreamFailure; }

  // Called on the user-interface thread after the camera failed mid-stream (error, device
  // lost, stream ended) or the file could not be written, and the engine stopped the graph;
  // the graph is still built.
  using StreamFailedHandler = std::function<void(long eventCode)>;
  void setStreamFailedHandler(StreamFailedHandler handler) {
    m_onStreamFailed = std::move(handler);
  }

  int m_nWidth = 0;
  int m_nHeight = 0;

 private:
  HRESULT createSourceFilter(IBaseFilter** source);
  HRESULT applyOrReadFormat(IAMStreamConfig* config);
  bool grabberConnected() const;
  void removeFiltersAddedByRendering();
  HRESULT connectPreviewByHand(bool searchRenderers);
  HRESULT connectToNewFilter(IPin* output, const CLSID& clsid, const wchar_t* name);
  HRESULT addFileBranchByHand(const std::wstring& path, ComPtr<IBaseFilter>* mux);
  HRESULT connectCaptureByHand(IBaseFilter* mux);
  HRESULT spliceSmartTee(IPin* capture, IPin* previewInput, ComPtr<IBaseFilter>* tee);
  HRESULT watchGraphEvents();
  static LRESULT CALLBACK eventWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);
  void drainGraphEvents();
  bool joinTableWorker();
  static DWORD WINAPI tableWorker(void* work);
  std::chrono::nanoseconds snapshotTimeout() const;

  ComPtr<IMoniker> m_pMoniker;
  std::optional<VirtualCamera> m_virtualCamera;  // bound instead of a moniker
  ComPtr<IGraphBuilder> m_pGraph;
  ComPtr<ICaptureGraphBuilder2> m_pBuilder;
  ComPtr<ISampleGrabber> m_pGrabber;
  ComPtr<IBaseFilter> m_pSource;
  MediaTypePtr m_pFormat;  // survives TearDown and device changes

  FrameTiming m_timing;
  SnapshotHandover m_snapshot;
  int m_nPixelFormat = kPixelNone;
  REFERENCE_TIME m_frameInterval = 0;

  // What the table worker writes. The worker holds a share of its own, so that a worker still
  // running when the engine stops waiting for it (the engine's bounds) writes only here.
  struct TableWork {
    ConversionTables tables;
    std::atomic<bool> ready{false};  // tables complete
    TableFiller fill = BuildConversionTables;
  };
  static void fillTables(TableWork& work);

  WinHandle m_pTableThread;
  std::shared_ptr<TableWork> m_tables;

  // No renderer in the graph takes the camera's subtype: the engine draws the frames itself.
  bool m_bDrawsFrames = false;
  // Subtypes that neither the capture graph builder nor the graph's own search could draw. Their
  // next previews go straight to the null renderer: a new search finds nothing new while the
  // program runs, and each one costs (Wine's filter mapper keeps some 33 registry handles per
  // search, about 130 per preview graph).
  std::vector<GUID> m_undrawableSubtypes;
  FrameWindow m_frameWindow;

  std::atomic<bool> m_bRunning{false};
  HWND m_hEventWindow = nullptr;  // receives the graph's event notifications
  StreamFailedHandler m_onStreamFailed;
  HRESULT m_hrStreamFailure = S_OK;
  std::wstring m_strRecordingPath;
};

}  // namespace kovracam
