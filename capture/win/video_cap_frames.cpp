// The per-frame side of the engine: counting and stamping frames, the snapshot hand-over, the
// frame-rate reading and the conversion tables' worker.

#include <algorithm>
#include <cstring>
#include <new>

#include "capture/win/video_cap.h"

namespace kovracam {
namespace {

// How long a snapshot waits for a frame beyond five frame intervals.
constexpr auto kSnapshotGrace = std::chrono::seconds(2);
// The tables take well under a second; a worker that needs longer is starved, not busy.
constexpr DWORD kTableWorkerBoundMs = 30000;

DWORD WINAPI buildTables(void* tables) {
  BuildConversionTables(*static_cast<ConversionTables*>(tables));
  return 0;
}

}  // namespace

STDMETHODIMP CVideoCap::BufferCB(double, BYTE* buffer, long length) {
  if (buffer && length > 0) m_snapshot.offer(buffer, static_cast<std::size_t>(length));
  m_timing.stamp();
  return S_FALSE;
}

void CVideoCap::Prepare() {
  if (m_tables || m_pTableThread) return;
  m_tables.reset(new (std::nothrow) ConversionTables);
  if (!m_tables) return;
  HANDLE worker = CreateThread(nullptr, 0, buildTables, m_tables.get(), CREATE_SUSPENDED, nullptr);
  if (!worker) {
    BuildConversionTables(*m_tables);  // no worker: build them here, once
    return;
  }
  SetThreadPriority(worker, THREAD_PRIORITY_TIME_CRITICAL);
  m_pTableThread = WinHandle(worker);
  ResumeThread(worker);
}

bool CVideoCap::joinTableWorker() {
  if (!m_pTableThread) return true;
  if (WaitForSingleObject(m_pTableThread.get(), kTableWorkerBoundMs) != WAIT_OBJECT_0) {
    return false;
  }
  m_pTableThread.reset();
  return true;
}

std::chrono::nanoseconds CVideoCap::snapshotTimeout() const {
  const auto interval = std::chrono::nanoseconds(
      m_frameInterval > 0 ? m_frameInterval * 100 : REFERENCE_TIME{1'000'000'000});
  return kSnapshotGrace + interval * 5;
}

int CVideoCap::GetSnapshot(std::uint8_t* bits, std::size_t length) {
  if (!bits || !isRunning()) return 0;
  const std::size_t width = static_cast<std::size_t>(std::max(m_nWidth, 0));
  const std::size_t rows = static_cast<std::size_t>(std::max(m_nHeight, 0));
  const std::size_t stride = rgb24Stride(m_nWidth);
  if (width == 0 || rows == 0 || length < stride * rows) return 0;
  if (!m_tables) Prepare();  // an engine that was never prepared builds its tables now
  if (!m_tables || !joinTableWorker()) return 0;  // no snapshot before the tables are complete

  // The frame lands in a block of our own, never straight in the caller's: a copy that outlives
  // a time-out then cannot touch memory the caller has freed.
  const bool yuy2 = m_nPixelFormat == kPixelYUY2;
  const std::size_t frameBytes = (yuy2 ? width * 2 : stride) * rows;
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[frameBytes]);
  if (!block) return 0;
  const auto delivery = m_snapshot.request(block.get(), frameBytes, snapshotTimeout());
  if (delivery == SnapshotHandover::Delivery::Stuck) block.release();  // may still be written
  if (delivery != SnapshotHandover::Delivery::Delivered) return 0;

  if (yuy2) {
    ConvertYUY2ToRGB24(bits, m_nHeight, m_nWidth, block.get(), *m_tables);
  } else {
    std::memcpy(bits, block.get(), frameBytes);  // already a bottom-up 24-bit picture
  }
  return 1;
}

Status CVideoCap::GetFrameRate(double* rate) {
  if (!rate) return kPointer;
  *rate = m_timing.read();
  return kOk;
}

}  // namespace kovracam
