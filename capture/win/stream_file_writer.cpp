#include "capture/win/stream_file_writer.h"

#include <cstring>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "base/win/win_handle.h"
#include "capture/win/com_ptr.h"
#include "capture/win/file_flusher.h"
#include "capture/win/filter_base/com_enumerators.h"
#include "capture/win/filter_base/ref_count.h"
#include "capture/win/media_type.h"
#include "capture/win/provisional_avi_header.h"

namespace kovracam {
namespace {

// Our own class id: the filter is never registered, the id only answers IPersist.
constexpr CLSID kClsidStreamFileWriter = {
    0x5c2e91a7, 0x3d48, 0x4f0b, {0xa6, 0x7e, 0x12, 0x9b, 0xd4, 0x3c, 0x80, 0x5f}};
constexpr wchar_t kPinName[] = L"in";

HRESULT lastError() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

class StreamFileWriter;

class WriterPin final : public IPin, public IMemInputPin, public IStream {
 public:
  explicit WriterPin(StreamFileWriter& filter) : m_filter(filter) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override {
    return createMediaTypeEnumerator({}, types);
  }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IMemInputPin: samples carry their byte offset as start time.
  STDMETHODIMP GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
  STDMETHODIMP NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override;
  STDMETHODIMP ReceiveCanBlock() override { return S_OK; }

  // IStream
  STDMETHODIMP Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override;
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

  // The video format the multiplexer upstream writes (the caller holds the filter's lock).
  MediaTypePtr streamType() const {
    return m_connected ? videoTypeFeeding(m_connected.get()) : nullptr;
  }

 private:
  StreamFileWriter& m_filter;
  ComPtr<IPin> m_connected;  // guarded by the filter's lock
  MediaTypePtr m_type;
};

class StreamFileWriter final : public IBaseFilter,
                               public IFileSinkFilter,
                               public IAMFilterMiscFlags {
 public:
  StreamFileWriter() : m_pin(*this) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) ||
        IsEqualIID(riid, IID_IMediaFilter) || IsEqualIID(riid, IID_IBaseFilter)) {
      *ppv = static_cast<IBaseFilter*>(this);
    } else if (IsEqualIID(riid, IID_IFileSinkFilter)) {
      *ppv = static_cast<IFileSinkFilter*>(this);
    } else if (IsEqualIID(riid, IID_IAMFilterMiscFlags)) {
      *ppv = static_cast<IAMFilterMiscFlags*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_refs.add(); }
  STDMETHODIMP_(ULONG) Release() override { return m_refs.release(this); }

  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (!clsid) return E_POINTER;
    *clsid = kClsidStreamFileWriter;
    return S_OK;
  }
  // The file stays open when stopped: the multiplexer finishes it on its own Stop, which the
  // graph may call after ours. It is closed when the filter goes.
  STDMETHODIMP Stop() override {
    std::lock_guard lock(m_lock);
    m_state = State_Stopped;
    return S_OK;
  }
  STDMETHODIMP Pause() override {
    std::lock_guard lock(m_lock);
    if (m_state == State_Stopped) {
      const HRESULT hr = openFile();
      if (FAILED(hr)) return hr;
    }
    m_state = State_Paused;
    return S_OK;
  }
  STDMETHODIMP Run(REFERENCE_TIME) override {
    std::lock_guard lock(m_lock);
    if (m_state == State_Stopped) {
      const HRESULT hr = openFile();
      if (FAILED(hr)) return hr;
    }
    m_state = State_Running;
    return S_OK;
  }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
    if (!state) return E_POINTER;
    std::lock_guard lock(m_lock);
    *state = m_state;
    return S_OK;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override {
    std::lock_guard lock(m_lock);
    m_clock = ComPtr<IReferenceClock>(clock);
    return S_OK;
  }
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
    if (!clock) return E_POINTER;
    std::lock_guard lock(m_lock);
    *clock = ComPtr<IReferenceClock>(m_clock).detach();
    return S_OK;
  }
  STDMETHODIMP EnumPins(IEnumPins** pins) override { return createPinEnumerator(&m_pin, pins); }
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override {
    if (!id || !pin) return E_POINTER;
    *pin = nullptr;
    if (std::wcscmp(id, kPinName) != 0) return VFW_E_NOT_FOUND;
    *pin = ComPtr<IPin>(&m_pin).detach();
    return S_OK;
  }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
    if (!info) return E_POINTER;
    std::lock_guard lock(m_lock);
    lstrcpynW(info->achName, m_name.c_str(), MAX_FILTER_NAME);  // cut short and terminated
    info->pGraph = m_graph;
    if (m_graph) m_graph->AddRef();
    return S_OK;
  }
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    std::lock_guard lock(m_lock);
    m_graph = graph;
    m_name = graph && name ? name : L"";
    return S_OK;
  }
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  // IFileSinkFilter
  STDMETHODIMP SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override {
    if (!name) return E_POINTER;
    std::lock_guard lock(m_lock);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    m_path = name;
    return S_OK;
  }
  STDMETHODIMP GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override {
    if (!name) return E_POINTER;
    std::lock_guard lock(m_lock);
    const std::size_t bytes = (m_path.size() + 1) * sizeof(wchar_t);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*name) return E_OUTOFMEMORY;
    std::memcpy(*name, m_path.c_str(), bytes);
    if (type) {
      std::memset(type, 0, sizeof *type);
      type->majortype = MEDIATYPE_Stream;
    }
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  std::recursive_mutex& lock() { return m_lock; }
  FILTER_STATE state() const { return m_state; }

  // Writes at the current position. The first failure is told to the graph, whose owner ends
  // the recording; from then on writes are dropped, so that nothing is written after a gap.
  // The multiplexer is not told: one whose writes fail cannot stop, and a graph with a filter
  // that did not stop hangs when it is released (Wine's).
  HRESULT write(const void* data, ULONG size, ULONG* written) {
    if (written) *written = size;
    std::lock_guard lock(m_lock);
    if (FAILED(m_failure)) return S_OK;
    DWORD done = 0;
    if (!m_file) {
      fail(E_UNEXPECTED);
    } else if (size && std::exchange(m_firstWrite, false) && m_streamType &&
               !fillHeaderHole(m_file.get(), *m_streamType, static_cast<const BYTE*>(data), size)) {
      fail(lastError());
    } else if (!WriteFile(m_file.get(), data, size, &done, nullptr)) {
      fail(lastError());
    } else if (done != size) {
      fail(HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    }
    return S_OK;
  }
  HRESULT seek(LONGLONG move, DWORD origin, ULARGE_INTEGER* position) {
    std::lock_guard lock(m_lock);
    if (!m_file) return E_UNEXPECTED;
    LARGE_INTEGER distance;
    distance.QuadPart = move;
    LARGE_INTEGER now;
    if (!SetFilePointerEx(m_file.get(), distance, &now, origin)) return lastError();
    if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
    return S_OK;
  }
  HRESULT setSize(ULONGLONG size) {
    std::lock_guard lock(m_lock);
    if (!m_file) return E_UNEXPECTED;
    LARGE_INTEGER zero{};
    LARGE_INTEGER kept;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(m_file.get(), zero, &kept, FILE_CURRENT) ||
        !SetFilePointerEx(m_file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.get())) {
      return lastError();
    }
    return SetFilePointerEx(m_file.get(), kept, nullptr, FILE_BEGIN) ? S_OK : lastError();
  }
  void notify(long code, LONG_PTR param1) {
    ComPtr<IMediaEventSink> sink;
    {
      std::lock_guard lock(m_lock);
      if (m_graph) m_graph->QueryInterface(IID_IMediaEventSink, sink.putVoid());
    }
    if (sink)
      sink->Notify(code, param1, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  }

 private:
  friend class kovracam::RefCount;  // deletes it with the last reference
  ~StreamFileWriter() = default;

  HRESULT openFile() {
    if (m_path.empty()) return E_INVALIDARG;
    m_failure = S_OK;
    m_file.reset();
    // Writes are shared with the flusher's handle of its own.
    const HANDLE file =
        CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastError();
    m_file = WinHandle(file);
    // The stream's format for the headers that keep the file readable until the end, which the
    // multiplexer writes only then; written before its first write.
    m_streamType = m_pin.streamType();
    m_firstWrite = true;
    m_flusher.start(m_path);  // without it the file is only as safe as the system makes it
    return S_OK;
  }
  void fail(HRESULT hr) {
    m_failure = hr;
    notify(EC_ERRORABORT, hr);
  }

  RefCount m_refs;
  std::recursive_mutex m_lock;
  FILTER_STATE m_state = State_Stopped;
  ComPtr<IReferenceClock> m_clock;
  IFilterGraph* m_graph = nullptr;  // not counted: the graph holds us
  std::wstring m_name;
  std::wstring m_path;
  WinHandle m_file;
  MediaTypePtr m_streamType;
  bool m_firstWrite = false;
  FileFlusher m_flusher;
  HRESULT m_failure = S_OK;
  WriterPin m_pin;
};

STDMETHODIMP WriterPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin)) {
    *ppv = static_cast<IPin*>(this);
  } else if (IsEqualIID(riid, IID_IMemInputPin)) {
    *ppv = static_cast<IMemInputPin*>(this);
  } else if (IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream)) {
    *ppv = static_cast<IStream*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) WriterPin::AddRef() { return m_filter.AddRef(); }
STDMETHODIMP_(ULONG) WriterPin::Release() { return m_filter.Release(); }

STDMETHODIMP WriterPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return IsEqualGUID(type->majortype, MEDIATYPE_Stream) ? S_OK : S_FALSE;
}

STDMETHODIMP WriterPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (m_filter.state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (QueryAccept(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  MediaTypePtr copy(duplicateMediaType(*type));
  if (!copy) return E_OUTOFMEMORY;
  m_type = std::move(copy);
  m_connected = ComPtr<IPin>(connector);
  return S_OK;
}

STDMETHODIMP WriterPin::Disconnect() {
  std::lock_guard lock(m_filter.lock());
  if (m_filter.state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!m_connected) return S_FALSE;
  m_connected.reset();
  m_type.reset();
  return S_OK;
}

STDMETHODIMP WriterPin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  *pin = ComPtr<IPin>(m_connected).detach();
  return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP WriterPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  if (!m_type) {
    std::memset(type, 0, sizeof *type);
    return VFW_E_NOT_CONNECTED;
  }
  return copyMediaType(*type, *m_type);
}

STDMETHODIMP WriterPin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = &m_filter;
  m_filter.AddRef();
  info->dir = PINDIR_INPUT;
  std::memcpy(info->achName, kPinName, sizeof kPinName);
  return S_OK;
}

STDMETHODIMP WriterPin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = PINDIR_INPUT;
  return S_OK;
}

STDMETHODIMP WriterPin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, kPinName, sizeof kPinName);
  return S_OK;
}

STDMETHODIMP WriterPin::EndOfStream() {
  if (m_filter.state() == State_Running) m_filter.notify(EC_COMPLETE, S_OK);
  return S_OK;
}

STDMETHODIMP WriterPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) {
    LARGE_INTEGER offset;
    offset.QuadPart = start;
    hr = Seek(offset, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
  }
  const long length = sample->GetActualDataLength();
  return length > 0 ? Write(data, static_cast<ULONG>(length), nullptr) : S_OK;
}

STDMETHODIMP WriterPin::ReceiveMultiple(IMediaSample** samples, long count, long* done) {
  if (!samples || !done) return E_POINTER;
  // Done counts the samples taken: a refused one is not, and ends the batch.
  for (*done = 0; *done < count; ++*done) {
    const HRESULT hr = Receive(samples[*done]);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

STDMETHODIMP WriterPin::Write(const void* data, ULONG size, ULONG* written) {
  if (!data && size) return STG_E_INVALIDPOINTER;
  return m_filter.write(data, size, written);
}

STDMETHODIMP WriterPin::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  // The stream's origins are the file pointer's: set, current, end.
  return m_filter.seek(move.QuadPart, origin, position);
}

STDMETHODIMP WriterPin::SetSize(ULARGE_INTEGER size) { return m_filter.setSize(size.QuadPart); }

}  // namespace

HRESULT CreateStreamFileWriter(IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  auto* created = new (std::nothrow) StreamFileWriter;
  *filter = created;
  return created ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kovracam
