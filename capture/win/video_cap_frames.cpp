// The per-frame side of the engine: counting and stamping frames, the snapshot hand-over, the
// frame-rate reading and the conversion tables' worker.

#include <algorithm>
#include <cstring>
#include <new>

#include "capture/snapshot_request.h"
#include "capture/win/video_cap.h"

namespace kovracam {
namespace {

// The tables take well under a second; a worker that needs longer is starved, not busy. The
// window waits no longer than this for them.
constexpr DWORD kTableWorkerBoundMs = 5000;

}  // namespace

void CVideoCap::fillTables(TableWork& work) {
  work.fill(work.tables);
  work.ready.store(true, std::memory_order_release);
}

// `work` is the worker's own share of the tables, handed over by Prepare.
DWORD WINAPI CVideoCap::tableWorker(void* work) {
  const std::unique_ptr<std::shared_ptr<TableWork>> share(
      static_cast<std::shared_ptr<TableWork>*>(work));
  fillTables(**share);
  return 0;
}

STDMETHODIMP CVideoCap::BufferCB(double, BYTE* buffer, long length) {
  if (buffer && length > 0) m_snapshot.offer(buffer, static_cast<std::size_t>(length));
  // The tables' readiness is read once: a frame before then is not drawn.
  const ConversionTables* tables =
      m_tables && m_tables->ready.load(std::memory_order_acquire) ? &m_tables->tables : nullptr;
  if (buffer && length > 0) {
    m_frameWindow.offer(buffer, static_cast<std::size_t>(length), m_nWidth, m_nHeight,
                        m_nPixelFormat == kPixelYUY2, tables);
  }
  m_timing.stamp();
  return S_FALSE;
}

void CVideoCap::Prepare(TableFiller fill) {
  if (m_tables) return;  // prepared once; the worker is started only with its tables
  std::shared_ptr<TableWork> work;
  try {
    work = std::make_shared<TableWork>();
  } catch (const std::bad_alloc&) {
    return;  // no tables, so no snapshots; the preview does not need them
  }
  work->fill = fill;
  m_tables = work;
  auto* share = new (std::nothrow) std::shared_ptr<TableWork>(work);
  HANDLE worker =
      share ? CreateThread(nullptr, 0, tableWorker, share, CREATE_SUSPENDED, nullptr) : nullptr;
  if (!worker) {
    delete share;
    fillTables(*work);  // no worker: build them here, once
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
  return kovracam::snapshotTimeout(std::chrono::nanoseconds(m_frameInterval * 100));
}

int CVideoCap::GetSnapshot(std::uint8_t* bits, std::size_t length) {
  if (!bits || !isRunning()) return 0;
  const bool yuy2 = m_nPixelFormat == kPixelYUY2;
  const auto sizes = snapshotSizes(m_nWidth, m_nHeight, yuy2, length);
  if (!sizes) return 0;
  if (!m_tables) Prepare();  // an engine that was never prepared builds its tables now
  if (!m_tables || !joinTableWorker()) return 0;  // no snapshot before the tables are complete

  const auto block = m_snapshot.requestFrame(sizes->frameBytes, snapshotTimeout());
  if (!block) return 0;

  if (yuy2) {
    ConvertYUY2ToRGB24(bits, m_nHeight, m_nWidth, block.get(), m_tables->tables);
  } else {
    std::memcpy(bits, block.get(), sizes->frameBytes);  // already a bottom-up 24-bit picture
  }
  return 1;
}

Status CVideoCap::GetFrameRate(double* rate) {
  if (!rate) return kPointer;
  *rate = m_timing.read();
  return kOk;
}

}  // namespace kovracam
