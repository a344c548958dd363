// The engine with virtual cameras: listing, a running preview, its frame rate and snapshots,
// refused subtypes and a camera lost mid-stream.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>

#include "base/win/handle_count.h"
#include "base/win/wide_text.h"
#include "capture/win/graph_pins.h"
#include "capture/win/ks_video_proc_amp.h"
#include "capture/win/power_line.h"
#include "capture/win/provisional_avi_header.h"
#include "capture/win/stream_file_writer.h"
#include "capture/win/video_cap.h"
#include "capture/win/virtual/virtual_camera_filter.h"
#include "capture/win/virtual/virtual_camera_pages.h"
#include "tests/win/capture/win_test.h"

using namespace kovracam;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

std::size_t systemDeviceCount() {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                   devices.putVoid());
  if (!devices ||
      devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK) {
    return 0;
  }
  std::size_t count = 0;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.put(), nullptr) == S_OK) ++count;
  return count;
}

// A video-input device as drivers register it, without a filter behind it: listed by the system
// enumerator, but its filter cannot be made.
constexpr CLSID kUnbuiltFilter = {
    0x2b4c9d1e, 0x7a35, 0x4f60, {0x8e, 0x11, 0x90, 0x3c, 0x5a, 0x6d, 0x24, 0x7f}};

HRESULT registerSystemCamera(bool add) {
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFilterMapper2, mapper.putVoid());
  if (FAILED(hr)) return hr;
  if (!add)
    return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, kUnbuiltFilter);
  const REGFILTER2 filter{1, MERIT_DO_NOT_USE, {}};
  return mapper->RegisterFilter(kUnbuiltFilter, L"System Camera", nullptr,
                                &CLSID_VideoInputDeviceCategory, nullptr, &filter);
}

void listsVirtualCamerasAfterTheSystemOnes() {
  CHECK(SUCCEEDED(registerSystemCamera(true)));
  const std::size_t system = systemDeviceCount();
  CHECK(system >= 1);
  DeviceList list;
  CHECK(CVideoCap().EnumDevices(&list) == kOk);
  CHECK(list.nCount() == system + 5);  // the damaged lines are skipped
  if (list.nCount() != system + 5) return;
  const DeviceRecord& first = list.pRecords[system];
  CHECK(first.szDisplayName == "virtual:red" && first.szFriendlyName == "Red YUY2" &&
        first.szDevicePath == "virtual:red");
  CHECK(list.pRecords[system + 2].szDisplayName == "virtual:cam\xC3\xA9ra");
  CHECK(list.pRecords.back().szDisplayName == "virtual:i420");
  // The system camera binds by its display name; building fails since it has no filter.
  const DeviceRecord& real = list.pRecords[system - 1];
  CVideoCap engine;
  int width = 0, height = 0;
  CHECK(real.szFriendlyName == "System Camera" && engine.SelectDevice(real.szDisplayName) == kOk);
  CHECK(FAILED(engine.BuildGraph(&width, &height)));
  engine.TearDown();
  CHECK(SUCCEEDED(registerSystemCamera(false)) && systemDeviceCount() == system - 1);

  std::vector<std::string> many(20);
  for (int i = 0; i < 20; ++i)
    many[i] = "id=c" + std::to_string(i) + "; name=C; formats=YUY2 8x8@30";
  test::useVirtualCameras(many);
  CHECK(CVideoCap().EnumDevices(&list) == kOk && list.nCount() == kMaxListedDevices);
  test::useVirtualCameras({});
  if (system == 0) CHECK(CVideoCap().EnumDevices(&list) == kNoDevice);
}

// Starts the preview as the view does; a failing step is named on stderr.
bool startPreview(CVideoCap& engine, const char* displayName, HWND owner) {
  int width = 0, height = 0;
  Status status = engine.SelectDevice(displayName);
  const char* step = "SelectDevice";
  if (status == kOk) status = engine.BuildGraph(&width, &height), step = "BuildGraph";
  if (status == kOk && (width != kWidth || height != kHeight)) status = kFail, step = "size";
  if (status == kOk) status = engine.RenderPreview(), step = "RenderPreview";
  if (status == kOk) status = engine.PlaceVideoWindow(owner, width, height), step = "Place";
  if (status == kOk) status = engine.Run(), step = "Run";
  if (FAILED(status) || (status == kFalse && std::string(step) != "Run")) {
    std::fprintf(stderr, "%s: %s gave 0x%08lx\n", displayName, step, (unsigned long)status);
  }
  return SUCCEEDED(status) && (status != kFalse || std::string(step) == "Run");
}

// Builds the graph for `displayName` and records into `path` beside the preview.
Status startRecording(CVideoCap& engine, const char* displayName, const std::wstring& path,
                      HWND owner) {
  int width = 0, height = 0;
  Status status = engine.SelectDevice(displayName);
  if (status == kOk) status = engine.BuildGraph(&width, &height);
  return status == kOk ? engine.StartFileCapture(path, owner, width, height) : status;
}

void finish(CVideoCap& engine) {
  engine.Stop();
  engine.TearDown();
}

void pause(DWORD milliseconds) {
  test::pumpUntil([] { return false; }, milliseconds);
}

// Whether the engine's graph holds a filter of that name.
bool graphHas(CVideoCap& engine, const wchar_t* name) {
  FILTER_INFO info{};
  if (FAILED(engine.captureFilter()->QueryFilterInfo(&info)) || !info.pGraph) return false;
  ComPtr<IBaseFilter> found;
  info.pGraph->FindFilterByName(name, found.put());
  info.pGraph->Release();
  return static_cast<bool>(found);
}

int snapshot(CVideoCap& engine) {
  std::vector<std::uint8_t> bits(rgb24Stride(kWidth) * kHeight);
  return engine.GetSnapshot(bits.data(), bits.size());
}

double rateAfter(CVideoCap& engine, DWORD milliseconds) {
  double rate = 0;
  pause(300);                  // past the graph's start-up
  engine.GetFrameRate(&rate);  // the reading starts a new interval
  pause(milliseconds);
  engine.GetFrameRate(&rate);
  return rate;
}

// Every pixel of the snapshot is `bgr`.
bool snapshotIs(CVideoCap& engine, const std::uint8_t (&bgr)[3]) {
  std::vector<std::uint8_t> bits(rgb24Stride(kWidth) * kHeight, 0x5A);
  if (engine.GetSnapshot(bits.data(), bits.size() - 1) != 0) return false;  // one byte short
  if (engine.GetSnapshot(bits.data(), bits.size()) != 1) return false;
  for (std::size_t i = 0; i < bits.size(); ++i)
    if (bits[i] != bgr[i % 3]) return false;
  return true;
}

void previewsSnapshotsAndMeasures(HWND owner) {
  CVideoCap engine;
  engine.Prepare();
  CHECK(startPreview(engine, "virtual:red", owner) && graphHas(engine, L"Null Renderer"));
  CHECK(engine.pixelFormat() == kPixelYUY2);
  const double rate = rateAfter(engine, 1500);
  std::fprintf(stderr, "YUY2 30 fps camera through the engine: %.1f fps\n", rate);
  CHECK(rate > 25.0 && rate < 35.0);
  // The Linux source's red (Y 81, U 90, V 240) through the shared tables.
  ConversionTables tables;
  BuildConversionTables(tables);
  const std::uint8_t red[3] = {tables.blue(81, 90), tables.green(81, 240, 90), tables.red(81, 240)};
  CHECK(snapshotIs(engine, red));
  finish(engine);
  // Nothing here draws YUY2: later previews skip the search, which costs Wine's filter mapper
  // about 130 handles a graph, and their frames still come.
  const unsigned long handles = processHandleCount();
  for (int i = 0; i < 4; ++i, finish(engine)) {
    CHECK(startPreview(engine, "virtual:red", owner));
  }
  CHECK(startPreview(engine, "virtual:red", owner) && snapshotIs(engine, red));
  CHECK(processHandleCount() < handles + 60);  // a search cost about 130 each time
  finish(engine);

  CHECK(startPreview(engine, "virtual:blue", owner) && !graphHas(engine, L"Null Renderer"));
  CHECK(engine.pixelFormat() == kPixelRGB24);
  const double rgbRate = rateAfter(engine, 1500);
  std::fprintf(stderr, "RGB24 15 fps camera through the engine: %.1f fps\n", rgbRate);
  CHECK(rgbRate > 12.0 && rgbRate < 18.0);
  CHECK(snapshotIs(engine, {0xFF, 0x00, 0x00}));
  finish(engine);
  CHECK(engine.GetSnapshot(nullptr, 0) == 0);
}

// Presses OK on the "Error" box once it shows, within ten seconds; gives its text.
std::future<std::wstring> answerErrorBox() {
  return std::async(std::launch::async, [] {
    for (int i = 0; i < 500; ++i, Sleep(20)) {
      if (HWND box = FindWindowW(L"#32770", L"Error")) {
        wchar_t text[64] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 64);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return std::wstring(text);
      }
    }
    return std::wstring();
  });
}

void refusesSubtypesItCannotGrab() {
  for (const char* name : {"virtual:mjpg", "virtual:i420"}) {
    CVideoCap engine;
    int width = 0, height = 0;
    auto box = answerErrorBox();
    CHECK(engine.SelectDevice(name) == kOk);
    CHECK(engine.BuildGraph(&width, &height) == kUnsupportedSubtype);
    CHECK(box.get() == L"This type is not support");
    engine.TearDown();
  }
}

// Power line through IAMVideoProcAmp's number 13.
void readsAndSetsThePowerLine(HWND owner) {
  CVideoCap engine;
  CHECK(engine.GetPowerLineFrequency() == -1);  // no graph: nothing read, nothing harmed
  engine.SetPowerLineFrequency(1);
  CHECK(startPreview(engine, "virtual:pl60", owner) && engine.GetPowerLineFrequency() == 2);
  engine.SetPowerLineFrequency(1);
  ComPtr<IAMVideoProcAmp> amp;
  LONG value = 0, flags = 0;
  CHECK(SUCCEEDED(engine.captureFilter()->QueryInterface(IID_IAMVideoProcAmp, amp.putVoid())) &&
        amp->Get(13, &value, &flags) == S_OK && value == 1);
  finish(engine);
  CHECK(startPreview(engine, "virtual:pl60", owner) && engine.GetPowerLineFrequency() == 1);
  finish(engine);
  CHECK(startPreview(engine, "virtual:nopl", owner) && engine.GetPowerLineFrequency() == -1);
  finish(engine);
}

// The file writer's pin counts as done only the samples it took, up to the first it refused;
// out of any graph the writer has no name.
void writerCountsOnlyTheSamplesItTook() {
  ComPtr<IBaseFilter> writer;
  ComPtr<IPin> pin;
  ComPtr<IMemInputPin> input;
  ComPtr<IMemAllocator> allocator;
  CHECK(CreateStreamFileWriter(writer.put()) == S_OK && writer->FindPin(L"in", pin.put()) == S_OK &&
        SUCCEEDED(pin.as(&input)));
  CHECK(SUCCEEDED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IMemAllocator, allocator.putVoid())));
  if (!input || !allocator) return;
  ALLOCATOR_PROPERTIES wanted{2, 64, 1, 0}, got{};
  ComPtr<IMediaSample> first, second;
  CHECK(allocator->SetProperties(&wanted, &got) == S_OK && allocator->Commit() == S_OK &&
        allocator->GetBuffer(first.put(), nullptr, nullptr, 0) == S_OK &&
        allocator->GetBuffer(second.put(), nullptr, nullptr, 0) == S_OK);
  first->SetActualDataLength(0);  // taken, with nothing to write
  IMediaSample* samples[] = {first.get(), nullptr, second.get()};
  long done = -1;
  CHECK(input->ReceiveMultiple(samples, 3, &done) == E_POINTER && done == 1);
  CHECK(input->ReceiveMultiple(samples, 0, &done) == S_OK && done == 0);
  FILTER_INFO info{};
  CHECK(writer->JoinFilterGraph(nullptr, L"gone") == S_OK &&
        writer->QueryFilterInfo(&info) == S_OK && info.achName[0] == L'\0' && !info.pGraph);
}

// A filter that offers the power line only through the kernel-streaming property set, reading 2.
struct PropertySetOnly : IKsPropertySet {
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IKsPropertySet) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return ++writes, S_OK; }
  STDMETHODIMP Get(REFGUID, DWORD, void*, DWORD, void* data, DWORD size, DWORD* got) override {
    if (size >= sizeof(KSPROPERTY_VIDEOPROCAMP_S))
      static_cast<KSPROPERTY_VIDEOPROCAMP_S*>(data)->Value = 2;
    if (got) *got = size;
    return S_OK;
  }
  STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }
  int writes = 0;
};

// Read through IAMVideoProcAmp alone: without it there is no power line to show or set.
void ignoresAPowerLineOutsideTheProcAmp() {
  PropertySetOnly filter;
  CHECK(readPowerLineFrequency(&filter) == -1);
  writePowerLineFrequency(&filter, 1);
  CHECK(filter.writes == 0);
}

// A table worker held back until released; its state, for the test to follow.
std::atomic<int> g_tableWorker{0};  // 1 filling, 2 released, 3 done
void fillWhenReleased(ConversionTables&) {
  g_tableWorker = 1;
  for (int i = 0; i < 600 && g_tableWorker != 2; ++i) Sleep(50);
  g_tableWorker = 3;
}

// An engine whose table worker outlives the bound of its destructor's wait: the destructor
// returns, and the worker, ending later, writes nothing where the engine was.
void aSlowTableWorkerOutlivesItsEngine() {
  alignas(CVideoCap) static unsigned char place[sizeof(CVideoCap)];
  auto* engine = new (place) CVideoCap;
  engine->Prepare(fillWhenReleased);
  CHECK(test::pumpUntil([] { return g_tableWorker == 1; }, 5000));
  const ULONGLONG started = GetTickCount64();
  engine->~CVideoCap();
  const ULONGLONG waited = GetTickCount64() - started;
  CHECK(waited < 20000);
  std::memset(place, 0xA5, sizeof place);
  g_tableWorker = 2;
  CHECK(test::pumpUntil([] { return g_tableWorker == 3; }, 5000));
  Sleep(500);  // the worker's last steps after the tables
  CHECK(std::all_of(std::begin(place), std::end(place), [](unsigned char b) { return b == 0xA5; }));
}

// With no room left for the tables the engine goes on without them: no exception, a preview.
void preparesWithoutRoomForTheTables(HWND owner) {
  std::vector<void*> reserved;
  for (SIZE_T size = SIZE_T{1} << 30; size >= (SIZE_T{1} << 20); size /= 2) {
    while (void* block = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)) {
      reserved.push_back(block);
    }
  }
  CVideoCap engine;
  bool threw = false;
  try {
    engine.Prepare();
  } catch (...) {
    threw = true;
  }
  for (void* block : reserved) VirtualFree(block, 0, MEM_RELEASE);
  CHECK(!threw);
  CHECK(startPreview(engine, "virtual:red", owner));
  CHECK(test::pumpUntil([&] { return rateAfter(engine, 100) > 0; }, 3000));
  finish(engine);
}

// The pages' classes are known to COM only while registered, and then only in this process.
void createsThePagesOnlyWhileRegistered() {
  const auto make = [](const CLSID& clsid) {
    ComPtr<IPropertyPage> page;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                            page.putVoid());
  };
  CHECK(FAILED(make(kClsidProcAmpPage)));
  {
    const VirtualCameraPageClasses classes;
    CHECK(SUCCEEDED(make(kClsidProcAmpPage)) && SUCCEEDED(make(kClsidStreamFormatPage)));
  }
  CHECK(FAILED(make(kClsidStreamFormatPage)));
}

// The frames an AVI file's stream header counts, and those its index lists with data; -1 each
// when the file lacks either.
std::string fileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::pair<long, long> aviFrameCounts(const std::wstring& path) {
  const std::string bytes = fileBytes(path);
  auto dword = [&](std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return static_cast<long>(value);
  };
  const std::size_t strh = bytes.find("strh");
  const std::size_t idx1 = bytes.rfind("idx1");
  if (bytes.compare(0, 4, "RIFF") != 0 || strh == std::string::npos || idx1 == std::string::npos) {
    return {-1, -1};
  }
  long listed = 0;
  for (std::size_t at = idx1 + 8; at + 16 <= idx1 + 8 + dword(idx1 + 4); at += 16) {
    listed += bytes.compare(at, 3, "00d") == 0 && dword(at + 12) > 0;
  }
  return {dword(strh + 40), listed};
}

void recordsBesideThePreview(HWND owner) {
  CVideoCap engine;
  engine.Prepare();
  const std::wstring path =
      std::filesystem::temp_directory_path().wstring() + L"kovracam-engine-test.avi";
  CHECK(startRecording(engine, "virtual:red", path, owner) == kOk &&
        engine.recordingPath() == path);
  const double rate = rateAfter(engine, 1500);
  std::fprintf(stderr, "preview while recording: %.1f fps\n", rate);
  CHECK(rate > 25.0 && rate < 35.0);
  // Already while it is written the file reads as an AVI whose frames run to its end.
  const std::string written = fileBytes(path);
  const std::size_t movi = written.find("movi");  // one list of frames, left open
  CHECK(written.compare(0, 4, "RIFF") == 0 && written.compare(8, 4, "AVI ") == 0 &&
        movi != std::string::npos && written.find("movi", movi + 4) == std::string::npos);
  // A multiplexer that writes its own list of frames first (Wine's writes a frame) gets no other;
  // chunk ids are printable; a header fills its hole exactly or not at all (a JUNK chunk takes 8
  // bytes or more, even); a rate without a positive fraction has no frame interval.
  const BYTE list[] = "LIST\0\0\0\0movi", frame[] = "00dc\0\0\0\0movi";
  CHECK(beginsMoviList(list, 12) && !beginsMoviList(list, 11) && !beginsMoviList(frame, 12));
  const BYTE printable[] = " ~ ~\0\0\0\0", control[] = "\x1f~ ~\0\0\0\0";
  CHECK(beginsChunk(printable, 8) && !beginsChunk(control, 8) && !beginsChunk(printable, 7));
  const MediaTypePtr type(newVideoMediaType({Subtype::YUY2, 64, 48, FrameRate{30, 1}}));
  std::string fits;  // from the smallest hole a header fits: '+' fitted, '-' none, '?' wrong
  for (std::uint64_t hole = 12; hole < 4096 && fits.size() < 12; ++hole) {
    const std::size_t size = provisionalAviHeader(*type, hole, true).size();
    if (!fits.empty() || size != 0) fits += size == hole ? '+' : size == 0 ? '-' : '?';
  }
  CHECK(fits == "+-------+-+-" && frameInterval({0, 1}) == 0 && frameInterval({30, 0}) == 0 &&
        frameInterval({30, 1}) == 333'333);
  finish(engine);
  const auto [counted, listed] = aviFrameCounts(path);
  std::fprintf(stderr, "recorded: header %ld frames, index %ld\n", counted, listed);
  CHECK(counted == listed && counted >= 40 && counted <= 70);

  // A camera lost while recording: the engine stops, and releasing the graph completes the file.
  long failure = 0;
  engine.setStreamFailedHandler([&](long code) { failure = code; });
  CHECK(startRecording(engine, "virtual:red", path, owner) == kOk);
  pause(700);
  CHECK(UnplugVirtualCamera(engine.captureFilter()) == S_OK);
  CHECK(test::pumpUntil([&] { return failure != 0; }, 5000) && !engine.isRunning());
  engine.TearDown();
  const auto [lostCounted, lostListed] = aviFrameCounts(path);
  CHECK(failure == EC_DEVICE_LOST && lostCounted == lostListed && lostCounted >= 10);
  DeleteFileW(path.c_str());
}

// "Capture>Mux Preview>Grab Filter Still> ": each pin of the camera and its peer's filter.
std::string pinPeers(IBaseFilter* camera) {
  std::string peers;
  for (const wchar_t* name : {L"Capture", L"Preview", L"Still"}) {
    ComPtr<IPin> pin, peer;
    FILTER_INFO info{};
    camera->FindPin(name, pin.put());
    if (pin && pin->ConnectedTo(peer.put()) == S_OK) filterOf(peer.get())->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    peers += narrowToUtf8(std::wstring(name) + L">" + info.achName) + " ";
  }
  return peers;
}

// A camera with a preview pin: the preview on it, the recording on the capture pin, no Smart Tee;
// the still pin left alone.
void takesThePreviewPinAndLeavesTheStillPin(HWND owner) {
  CVideoCap engine;
  CHECK(startPreview(engine, "virtual:pins", owner) && rateAfter(engine, 1000) > 25.0);
  CHECK(pinPeers(engine.captureFilter()) == "Capture> Preview>Grab Filter Still> ");
  CHECK(snapshot(engine) == 1);
  engine.TearDown();
  const std::wstring path = std::filesystem::temp_directory_path().wstring() + L"pins.avi";
  CHECK(startRecording(engine, "virtual:pins", path, owner) == kOk && rateAfter(engine, 1000) > 25);
  CHECK(pinPeers(engine.captureFilter()) == "Capture>Mux Preview>Grab Filter Still> ");
  finish(engine);
  const auto [counted, listed] = aviFrameCounts(path);
  CHECK(counted == listed && counted >= 25);
  DeleteFileW(path.c_str());
}

// Cameras failing by themselves: one lost a second into its stream (the engine stops and refuses
// snapshots) and gone for good; one sending nothing from 0.1 s to 4.1 s, which is no failure;
// one whose stream ends a second in.
void failsAsTheFileSays(HWND owner) {
  CVideoCap engine;
  int width = 0, height = 0;
  long failure = 0;
  engine.setStreamFailedHandler([&](long code) { failure = code; });
  CHECK(startPreview(engine, "virtual:lost", owner));
  CHECK(test::pumpUntil([&] { return failure == EC_DEVICE_LOST; }, 6000) && !engine.isRunning() &&
        snapshot(engine) == 0);
  engine.TearDown();
  CHECK(engine.SelectDevice("virtual:lost") == kOk &&
        engine.BuildGraph(&width, &height) == HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED));
  engine.TearDown();
  CHECK(startPreview(engine, "virtual:stall", owner));
  pause(500);  // a reading then covers the frames before
  const double stalled = rateAfter(engine, 1000);
  pause(2500);
  const double resumed = rateAfter(engine, 1000);
  std::fprintf(stderr, "stalled camera: %.1f fps, then %.1f fps\n", stalled, resumed);
  CHECK(stalled < 1.0 && resumed > 25.0 && failure == EC_DEVICE_LOST);  // no new failure
  engine.TearDown();
  CHECK(startPreview(engine, "virtual:ends", owner));  // its stream ends: completion is a failure
  CHECK(test::pumpUntil([&] { return failure == EC_COMPLETE; }, 6000) && !engine.isRunning());
  engine.TearDown();
}

}  // namespace

int main() {
  test::ComScope com;
  const char* red = "id=red; name=Red YUY2; formats=YUY2 64x48@30; pattern=red";
  const char* blue = "id=blue; name=Blue; formats=RGB24 64x48@15; pattern=blue";
  const char* mjpg = "id=mjpg; name=MJPG only; formats=MJPG 64x48@30";
  const char* i420 = "id=i420; name=I420; formats=I420 64x48@30, YUY2 64x48@30";
  test::useVirtualCameras({red, blue, "id=broken; name=Broken; formats=YUY2 64by48",
                           "id=zebra; name=Zebra; formats=YUY2 8x8@30; pattern=zebra",
                           "id=cam\xC3\xA9ra; name=Accent; formats=YUY2 8x8@30", mjpg, i420});
  HWND owner = CreateWindowExW(0, L"STATIC", L"view", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                               nullptr, nullptr, nullptr);
  listsVirtualCamerasAfterTheSystemOnes();
  test::useVirtualCameras({red, blue, mjpg, i420,
                           "id=pl60; name=PL; formats=YUY2 64x48@30; powerline=60",
                           "id=nopl; name=No PL; formats=YUY2 64x48@30; powerline=none"});
  previewsSnapshotsAndMeasures(owner);
  refusesSubtypesItCannotGrab();
  readsAndSetsThePowerLine(owner);
  createsThePagesOnlyWhileRegistered();
  recordsBesideThePreview(owner);
  ignoresAPowerLineOutsideTheProcAmp();
  writerCountsOnlyTheSamplesItTook();
  preparesWithoutRoomForTheTables(owner);
  aSlowTableWorkerOutlivesItsEngine();
  test::useVirtualCameras(
      {"id=pins; name=P; formats=YUY2 64x48@30; pattern=red; pins=preview,still",
       "id=lost; name=L; formats=YUY2 64x48@30; unplug=stream+1",
       "id=stall; name=S; formats=YUY2 64x48@30; stall=0.1+4",
       "id=ends; name=E; formats=YUY2 64x48@30; end=1"});
  takesThePreviewPinAndLeavesTheStillPin(owner);
  failsAsTheFileSays(owner);
  DestroyWindow(owner);
  return test::report("engine_test");
}
