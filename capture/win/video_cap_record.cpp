// The engine's recording: the preview path plus the camera's capture stream through the AVI
// multiplexer into a file writer.

#include "capture/win/graph_pins.h"
#include "capture/win/stream_file_writer.h"
#include "capture/win/video_cap.h"

namespace kovracam {
namespace {

HRESULT addNewFilter(IGraphBuilder* graph, const CLSID& clsid, const wchar_t* name,
                     ComPtr<IBaseFilter>* filter) {
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter->putVoid());
  if (SUCCEEDED(hr)) hr = graph->AddFilter(filter->get(), name);
  return hr;
}

// Our file writer, also where the system has one: it sees every write of the multiplexer, so it
// can keep the file readable while the multiplexer leaves its headers for the end (see
// provisional_avi_header.h); the system's writes the file out of our sight. It takes the
// stream through IStream as multiplexers that finish their file at the end want (Wine's
// writer offers none, and Wine's multiplexer writes no other way).
HRESULT addFileWriter(IGraphBuilder* graph, const std::wstring& path, ComPtr<IBaseFilter>* writer) {
  HRESULT hr = CreateStreamFileWriter(writer->put());
  if (FAILED(hr)) return hr;
  ComPtr<IFileSinkFilter> sink;
  hr = writer->as(&sink);
  if (SUCCEEDED(hr)) hr = sink->SetFileName(path.c_str(), nullptr);
  if (SUCCEEDED(hr)) hr = graph->AddFilter(writer->get(), L"File Writer");
  return hr;
}

// The pin whose stream the recording takes: the camera's capture pin, else its one output.
ComPtr<IPin> captureOutput(IBaseFilter* source) {
  ComPtr<IPin> capture = pinOfCategory(source, PIN_CATEGORY_CAPTURE);
  if (capture) return capture;
  ComPtr<IEnumPins> pins;
  if (FAILED(source->EnumPins(pins.put()))) return {};
  for (ComPtr<IPin> pin; pins->Next(1, pin.put(), nullptr) == S_OK;) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) return pin;
  }
  return {};
}

// The AVI multiplexer takes the stream's frame duration for the file's timing and divides by it
// in whole microseconds (Wine's then traps on zero and takes the whole program down). A video
// format that states none cannot be recorded; one of another kind is the multiplexer's to judge.
bool statesFrameDuration(IPin* capture) {
  AM_MEDIA_TYPE type{};
  if (!capture || capture->ConnectionMediaType(&type) != S_OK) {
    ComPtr<IAMStreamConfig> config;
    AM_MEDIA_TYPE* current = nullptr;
    if (!capture || FAILED(capture->QueryInterface(IID_IAMStreamConfig, config.putVoid())) ||
        FAILED(config->GetFormat(&current)) || !current) {
      return true;
    }
    type = *current;
    CoTaskMemFree(current);
  }
  const VIDEOINFOHEADER* info =
      IsEqualGUID(type.formattype, FORMAT_VideoInfo) ? videoInfoOf(type) : nullptr;
  const bool states = !info || info->AvgTimePerFrame >= 10;
  freeMediaTypeContents(type);
  return states;
}

}  // namespace

Status CVideoCap::StartFileCapture(const std::wstring& path, HWND owner, int width, int height) {
  if (!m_pGraph) return kNotBound;
  Status status = RenderPreview();
  if (status != kOk) return status;
  status = PlaceVideoWindow(owner, width, height);
  if (status != kOk) return status;
  // Refused before the multiplexer and the file exist: no file is left behind.
  if (const Status recordable = CheckRecordable(); recordable != kOk) return recordable;
  // By hand rather than through the builder's SetOutputFileName, which would add the system's
  // file writer (and which Wine's builder does not have).
  ComPtr<IBaseFilter> mux;
  HRESULT hr = addFileBranchByHand(path, &mux);
  if (FAILED(hr)) return hr;
  hr = m_pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSource.get(), nullptr,
                                mux.get());
  if (FAILED(hr)) hr = connectCaptureByHand(mux.get());
  if (FAILED(hr)) return hr;
  m_strRecordingPath = path;
  // A graph that does not run records nothing: that is a failure to start, not a success.
  const Status run = Run();
  if (!succeeded(run)) {
    m_strRecordingPath.clear();
    return run;
  }
  return hr;
}

Status CVideoCap::CheckRecordable() const {
  if (!m_pSource) return kOk;
  return statesFrameDuration(captureOutput(m_pSource.get()).get()) ? kOk : kNoFrameDuration;
}

// The AVI multiplexer connected to our file writer for `path`, as SetOutputFileName would
// connect it to the system's.
HRESULT CVideoCap::addFileBranchByHand(const std::wstring& path, ComPtr<IBaseFilter>* mux) {
  HRESULT hr = addNewFilter(m_pGraph.get(), CLSID_AviDest, L"Mux", mux);
  if (FAILED(hr)) return hr;
  // Full interleaving is the mode every multiplexer implements (Wine's no other); with video
  // alone the file is the same. Set before the output connects, which a change would redo.
  ComPtr<IConfigInterleaving> interleaving;
  if (SUCCEEDED(mux->as(&interleaving))) interleaving->put_Mode(INTERLEAVE_FULL);
  ComPtr<IBaseFilter> writer;
  hr = addFileWriter(m_pGraph.get(), path, &writer);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> muxOut = freePin(mux->get(), PINDIR_OUTPUT);
  ComPtr<IPin> writerIn = freePin(writer.get(), PINDIR_INPUT);
  if (!muxOut || !writerIn) return VFW_E_NOT_FOUND;
  return m_pGraph->ConnectDirect(muxOut.get(), writerIn.get(), nullptr);
}

// The camera's capture output into the multiplexer: straight when the preview has a pin of
// its own, else through the Smart Tee that splits the one output (inserted here when the
// preview was connected without one).
HRESULT CVideoCap::connectCaptureByHand(IBaseFilter* mux) {
  ComPtr<IPin> muxIn = freePin(mux, PINDIR_INPUT);
  ComPtr<IPin> capture = pinOfCategory(m_pSource.get(), PIN_CATEGORY_CAPTURE);
  if (!capture) capture = freePin(m_pSource.get(), PINDIR_OUTPUT);
  if (!muxIn || !capture) return VFW_E_NOT_FOUND;
  ComPtr<IPin> peer;
  if (capture->ConnectedTo(peer.put()) != S_OK) {
    return m_pGraph->Connect(capture.get(), muxIn.get());
  }
  ComPtr<IBaseFilter> tee = filterOf(peer.get());
  if (!isFilterOfClass(tee.get(), CLSID_SmartTee)) {
    HRESULT hr = spliceSmartTee(capture.get(), peer.get(), &tee);
    if (FAILED(hr)) return hr;
  }
  ComPtr<IPin> teeCapture;
  HRESULT hr = tee->FindPin(L"Capture", teeCapture.put());
  if (FAILED(hr)) return hr;
  return m_pGraph->ConnectDirect(teeCapture.get(), muxIn.get(), nullptr);
}

// capture -> Smart Tee (Input), its Preview -> what `capture` fed before.
HRESULT CVideoCap::spliceSmartTee(IPin* capture, IPin* previewInput, ComPtr<IBaseFilter>* tee) {
  HRESULT hr = addNewFilter(m_pGraph.get(), CLSID_SmartTee, L"Smart Tee", tee);
  if (FAILED(hr)) return hr;
  ComPtr<IPin> teeIn;
  ComPtr<IPin> teePreview;
  hr = (*tee)->FindPin(L"Input", teeIn.put());
  if (SUCCEEDED(hr)) hr = (*tee)->FindPin(L"Preview", teePreview.put());
  if (FAILED(hr)) return hr;
  m_pGraph->Disconnect(previewInput);
  m_pGraph->Disconnect(capture);
  hr = m_pGraph->ConnectDirect(capture, teeIn.get(), nullptr);
  if (SUCCEEDED(hr)) hr = m_pGraph->ConnectDirect(teePreview.get(), previewInput, nullptr);
  return hr;
}

}  // namespace kovracam
