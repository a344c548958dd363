// The virtual camera filter in a plain graph: source -> sample grabber -> null renderer.

#include <mutex>

#include "capture/win/com_ptr.h"
#include "capture/win/media_type.h"
#include "capture/win/virtual/virtual_camera_filter.h"
#include "tests/win/capture/win_test.h"

using namespace kovracam;

namespace {

// Keeps every sample's start time and the latest frame's bytes.
class SampleRecorder : public ISampleGrabberCB {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = this, S_OK; }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample* sample) override {
    REFERENCE_TIME start = 0, end = 0;
    BYTE* data = nullptr;
    std::lock_guard lock(mutex);
    if (sample->GetTime(&start, &end) != S_OK) start = -1;
    starts.push_back(start);
    if (SUCCEEDED(sample->GetPointer(&data))) {
      frame.assign(data, data + sample->GetActualDataLength());
    }
    return S_OK;
  }
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return S_OK; }

  std::mutex mutex;
  std::vector<REFERENCE_TIME> starts;
  std::vector<std::uint8_t> frame;
};

ComPtr<IPin> onlyPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  filter->EnumPins(pins.put());
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) return pin;
  }
  return {};
}

VirtualCamera camera(Subtype subtype, const char* pattern, int fps) {
  return VirtualCamera{"t", "Test", {CaptureFormat{subtype, 32, 8, FrameRate{fps, 1}}}, pattern};
}

// Streams `cam` for about a second; the recorder holds what came.
bool streamOneSecond(const VirtualCamera& cam, SampleRecorder& recorder) {
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> source, grabberFilter, renderer;
  ComPtr<ISampleGrabber> grabber;
  ComPtr<IMediaControl> control;
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              graph.putVoid())) ||
      FAILED(CreateVirtualCameraFilter(cam, source.put())) ||
      FAILED(CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              grabberFilter.putVoid())) ||
      FAILED(CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              renderer.putVoid()))) {
    return false;
  }
  grabberFilter.as(&grabber);
  grabber->SetCallback(&recorder, 0);
  graph->AddFilter(source.get(), L"Capture Filter");
  graph->AddFilter(grabberFilter.get(), L"Grab Filter");
  graph->AddFilter(renderer.get(), L"Null");
  if (FAILED(graph->ConnectDirect(onlyPin(source.get(), PINDIR_OUTPUT).get(),
                                  onlyPin(grabberFilter.get(), PINDIR_INPUT).get(), nullptr)) ||
      FAILED(graph->ConnectDirect(onlyPin(grabberFilter.get(), PINDIR_OUTPUT).get(),
                                  onlyPin(renderer.get(), PINDIR_INPUT).get(), nullptr)) ||
      FAILED(graph.as(&control)) || FAILED(control->Run())) {
    return false;
  }
  Sleep(1000);
  return SUCCEEDED(control->Stop());
}

void framesArriveAtTheirRateWithRisingTimes() {
  SampleRecorder recorder;
  CHECK(streamOneSecond(camera(Subtype::YUY2, "ball", 30), recorder));
  const std::size_t n = recorder.starts.size();
  CHECK(n >= 20);  // the graph starts its clock a little after Run
  if (n < 2) return;
  const double seconds = (recorder.starts.back() - recorder.starts.front()) / 1e7;
  const double rate = seconds > 0 ? (n - 1) / seconds : 0;
  std::fprintf(stderr, "30 fps camera: %zu frames, %.2f fps by their times\n", n, rate);
  CHECK(rate > 29.0 && rate < 31.0);
  for (std::size_t i = 1; i < n; ++i) CHECK(recorder.starts[i] > recorder.starts[i - 1]);
}

// Frames of a solid pattern hold exactly the Linux test source's bytes for that format.
void solidFramesMatchTheLinuxSource(Subtype subtype, const char* pattern,
                                    std::vector<std::uint8_t> pixel) {
  SampleRecorder recorder;
  CHECK(streamOneSecond(camera(subtype, pattern, 30), recorder));
  CHECK(recorder.frame.size() == 32u * 8u * pixel.size() / (subtype == Subtype::YUY2 ? 2 : 1));
  bool exact = !recorder.frame.empty();
  for (std::size_t i = 0; i < recorder.frame.size(); ++i) {
    exact = exact && recorder.frame[i] == pixel[i % pixel.size()];
  }
  CHECK(exact);
}

void configurationOffersEveryFormat() {
  VirtualCamera cam = camera(Subtype::MJPG, "red", 30);
  cam.formats.push_back(CaptureFormat{Subtype::RGB24, 16, 4, FrameRate{15, 2}});
  ComPtr<IBaseFilter> source;
  CHECK(SUCCEEDED(CreateVirtualCameraFilter(cam, source.put())));
  ComPtr<IAMStreamConfig> config;
  CHECK(SUCCEEDED(onlyPin(source.get(), PINDIR_OUTPUT).as(&config)));
  int count = 0, size = 0;
  CHECK(config->GetNumberOfCapabilities(&count, &size) == S_OK && count == 2);
  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps{};
  CHECK(config->GetStreamCaps(1, &type, reinterpret_cast<BYTE*>(&caps)) == S_OK);
  CHECK(type && IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB24) &&
        videoInfoOf(*type)->bmiHeader.biHeight == 4 && caps.MinFrameInterval == 1333333);
  CHECK(config->SetFormat(type) == S_OK);
  deleteMediaType(type);
  CHECK(config->GetFormat(&type) == S_OK && IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB24));
  deleteMediaType(type);
}

}  // namespace

int main() {
  test::ComScope com;
  framesArriveAtTheirRateWithRisingTimes();
  solidFramesMatchTheLinuxSource(Subtype::YUY2, "red", {0x51, 0x5a, 0x51, 0xf0});
  solidFramesMatchTheLinuxSource(Subtype::YUY2, "green", {0x91, 0x36, 0x91, 0x22});
  solidFramesMatchTheLinuxSource(Subtype::RGB24, "blue", {0xff, 0x00, 0x00});
  configurationOffersEveryFormat();
  return test::report("virtual_filter_test");
}
