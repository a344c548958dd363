// The virtual camera's streaming thread: one frame per interval of the current format, stamped
// with the stream time of its moment on the graph's clock.

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "capture/win/virtual/frame_painter.h"
#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {
namespace {

// A thread blocked downstream is given this long to notice a stop.
constexpr DWORD kJoinBoundMs = 5000;
// Frames a camera's driver keeps queued for a late reader; later ones are dropped.
constexpr std::int64_t kQueuedFrames = 4;
// The longest sleep between looks at the state.
constexpr auto kIdleWait = std::chrono::milliseconds(100);

// For the benchmarks: with KOVRACAM_VIRTUAL_STATS naming a file, every stream that ends adds a
// line there with the frames it delivered, the figure a recording's file is measured against.
void reportDelivered(const CaptureFormat& format, std::uint64_t delivered) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"KOVRACAM_VIRTUAL_STATS", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const WinHandle file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  char line[96];
  const int bytes =
      std::snprintf(line, sizeof line, "virtual-camera %s delivered=%llu\n",
                    describe(format).c_str(), static_cast<unsigned long long>(delivered));
  DWORD written = 0;
  if (file && bytes > 0) WriteFile(file.get(), line, static_cast<DWORD>(bytes), &written, nullptr);
}

REFERENCE_TIME performanceCounterTime() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  const LONGLONG f = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  return count.QuadPart / f * 10'000'000 + count.QuadPart % f * 10'000'000 / f;
}

REFERENCE_TIME streamTimeOf(double seconds) {
  return static_cast<REFERENCE_TIME>(seconds * 10'000'000.0);
}

}  // namespace

StreamFaults StreamFaults::of(const VirtualCamera& camera) {
  StreamFaults faults;
  if (camera.unplugAfterStream) faults.lostAt = streamTimeOf(*camera.unplugAfterStream);
  if (camera.endAfter) faults.endAt = streamTimeOf(*camera.endAfter);
  if (camera.stallAt) {
    faults.stallFrom = streamTimeOf(*camera.stallAt);
    faults.stallUntil = faults.stallFrom + streamTimeOf(camera.stallFor);
  }
  return faults;
}

HRESULT FrameStreamer::start(const ComPtr<IMemInputPin>& input, const ComPtr<IPin>& peer,
                             const ComPtr<IMemAllocator>& allocator, const CaptureFormat& format) {
  if (!stop()) return VFW_E_WRONG_STATE;
  m_input = input;
  m_peer = peer;
  m_allocator = allocator;
  m_format = format;
  m_interval = std::max<REFERENCE_TIME>(frameInterval(format.fps), 1);
  {
    std::lock_guard lock(m_lock);
    m_clock = StreamClock{};
    m_bStop = false;
    m_bUnplugged = false;
  }
  m_filter.AddRef();  // the thread's own: it may outlive a stop that timed out
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, threadMain, this, 0, &id);
  if (!thread) {
    m_filter.Release();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  m_thread = WinHandle(thread);
  m_threadId = id;
  return S_OK;
}

void FrameStreamer::run(REFERENCE_TIME tStart, const ComPtr<IReferenceClock>& clock) {
  {
    std::lock_guard lock(m_lock);
    m_clock.running = true;
    m_clock.clock = clock;
    // Without a graph clock, stream time counts from now on our own.
    m_clock.start = clock ? tStart : performanceCounterTime();
    ++m_nRunEpoch;
  }
  m_wake.notify_all();
}

void FrameStreamer::pause() {
  {
    std::lock_guard lock(m_lock);
    m_clock.running = false;
    ++m_nRunEpoch;
  }
  m_wake.notify_all();
}

bool FrameStreamer::stop() {
  if (!m_thread) return true;
  {
    std::lock_guard lock(m_lock);
    m_bStop = true;
  }
  m_wake.notify_all();
  if (GetCurrentThreadId() != m_threadId &&
      WaitForSingleObject(m_thread.get(), kJoinBoundMs) != WAIT_OBJECT_0) {
    std::fputs("virtual camera: the streaming thread is stuck downstream\n", stderr);
    return false;
  }
  m_thread.reset();
  m_input.reset();
  m_peer.reset();
  m_allocator.reset();
  return true;
}

bool FrameStreamer::unplug() {
  {
    std::lock_guard lock(m_lock);
    if (!m_thread || m_bStop || m_bUnplugged) return false;
    m_bUnplugged = true;
  }
  m_wake.notify_all();
  return true;
}

DWORD WINAPI FrameStreamer::threadMain(void* self) {
  auto* streamer = static_cast<FrameStreamer*>(self);
  VirtualCameraFilter& filter = streamer->m_filter;
  streamer->loop();
  filter.Release();  // last touch: the streamer may be gone after this
  return 0;
}

bool FrameStreamer::streamNow(REFERENCE_TIME* now) {
  std::unique_lock lock(m_lock);
  const StreamClock clock = m_clock;
  lock.unlock();
  REFERENCE_TIME time = 0;
  if (clock.clock) {
    if (FAILED(clock.clock->GetTime(&time))) return false;
  } else {
    time = performanceCounterTime();
  }
  *now = time - clock.start;
  return true;
}

bool FrameStreamer::waitForFrame(std::int64_t* frameNumber, REFERENCE_TIME* streamTime) {
  REFERENCE_TIME now = 0;
  if (!streamNow(&now)) return false;
  // A short delay is caught up with the queued frames, each with its own time, as a driver's
  // queue gives them; after a pause or a longer stall, continue with the frame due now.
  if (now >= (*frameNumber + kQueuedFrames) * m_interval) *frameNumber = now / m_interval;
  const REFERENCE_TIME due = *frameNumber * m_interval;
  if (now < due) {
    const auto wait = std::chrono::microseconds((due - now + 9) / 10);
    std::unique_lock lock(m_lock);
    const std::uint64_t epoch = m_nRunEpoch;
    m_wake.wait_for(lock, std::min<std::chrono::microseconds>(wait, kIdleWait),
                    [&] { return m_bStop || m_bUnplugged || m_nRunEpoch != epoch; });
    return false;  // look again: the moment may not have come yet
  }
  *streamTime = due;
  return true;
}

HRESULT FrameStreamer::deliver(std::int64_t frameNumber, REFERENCE_TIME streamTime) {
  ComPtr<IMediaSample> sample;
  HRESULT hr = m_allocator->GetBuffer(sample.put(), nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const long size = sample->GetSize();
  const long bytes = static_cast<long>(frameBytes(m_format));
  if (size < bytes ||
      !paintFrame(m_filter.pattern(), m_format, static_cast<std::uint64_t>(frameNumber), data,
                  static_cast<std::size_t>(size))) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  balance(data, static_cast<std::size_t>(size));
  sample->SetActualDataLength(bytes);
  REFERENCE_TIME start = streamTime;
  REFERENCE_TIME end = streamTime + m_interval;
  sample->SetTime(&start, &end);
  LONGLONG mediaStart = frameNumber;
  LONGLONG mediaEnd = frameNumber + 1;
  sample->SetMediaTime(&mediaStart, &mediaEnd);
  sample->SetSyncPoint(TRUE);
  return m_input->Receive(sample.get());
}

FrameStreamer::Fault FrameStreamer::faultAt(REFERENCE_TIME streamTime) const {
  if (m_faults.lostAt && streamTime >= *m_faults.lostAt) return Fault::Lost;
  if (m_faults.endAt && streamTime >= *m_faults.endAt) return Fault::Ends;
  if (streamTime >= m_faults.stallFrom && streamTime < m_faults.stallUntil) return Fault::Stalled;
  return Fault::None;
}

// The failure is told before the end of stream, whose completion it explains.
void FrameStreamer::endStream(long eventCode, HRESULT hr) {
  m_filter.notifyGraph(eventCode, eventCode == EC_ERRORABORT ? hr : 0, 0);
  m_peer->EndOfStream();
}

void FrameStreamer::loop() {
  std::int64_t frameNumber = 0;
  std::uint64_t delivered = 0;
  bool ended = false;
  while (true) {
    {
      std::unique_lock lock(m_lock);
      m_wake.wait_for(lock, kIdleWait, [this, ended] {
        return m_bStop || (m_clock.running && !ended) || (m_bUnplugged && !ended);
      });
      if (m_bStop) {
        lock.unlock();
        reportDelivered(m_format, delivered);
        return;
      }
      if (m_bUnplugged && !ended) {
        lock.unlock();
        ended = true;
        endStream(EC_DEVICE_LOST, S_OK);
        continue;
      }
      if (!m_clock.running || ended) continue;
    }
    REFERENCE_TIME streamTime = 0;
    if (!waitForFrame(&frameNumber, &streamTime)) continue;
    if (const Fault fault = faultAt(streamTime); fault != Fault::None) {
      if (fault == Fault::Lost) {
        ended = true;
        m_filter.markLost();
        endStream(EC_DEVICE_LOST, S_OK);
      } else if (fault == Fault::Ends) {
        ended = true;
        m_peer->EndOfStream();  // nothing to tell: the renderer's completion says it
      }
      ++frameNumber;  // a stalled camera lets the moment pass without a frame
      continue;
    }
    const HRESULT hr = deliver(frameNumber, streamTime);
    ++frameNumber;
    if (hr == S_OK) ++delivered;
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE || hr == S_FALSE) {
      // Stopping, or downstream not taking frames in its state: wait for the next change.
      std::unique_lock lock(m_lock);
      const std::uint64_t epoch = m_nRunEpoch;
      m_wake.wait_for(lock, kIdleWait, [&] { return m_bStop || m_nRunEpoch != epoch; });
    } else if (FAILED(hr)) {
      ended = true;
      endStream(EC_ERRORABORT, hr);
    }
  }
}

}  // namespace kovracam
