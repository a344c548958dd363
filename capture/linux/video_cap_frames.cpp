// The per-frame side of the engine: counting and stamping frames, the snapshot hand-over and the
// frame-rate reading.

#include <gst/video/video.h>

#include <pthread.h>
#include <sched.h>
#include <algorithm>
#include <cstring>

#include "capture/linux/frame_stats.h"
#include "capture/linux/video_cap.h"
#include "capture/snapshot_request.h"

namespace kovracam {
namespace {

void raiseToHighestPriority(std::thread& worker) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO);
  // Refused without the right privileges; the tables are then built at normal priority.
  pthread_setschedparam(worker.native_handle(), SCHED_FIFO, &param);
}

GstPadProbeReturn onGrabberBuffer(GstPad*, GstPadProbeInfo* info, gpointer engine) {
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  GstMapInfo map;
  if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    const double sampleTime = GST_BUFFER_PTS_IS_VALID(buffer)
                                  ? static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND
                                  : 0.0;
    static_cast<CVideoCap*>(engine)->BufferCB(sampleTime, map.data, map.size);
    gst_buffer_unmap(buffer, &map);
  }
  return GST_PAD_PROBE_OK;
}

}  // namespace

Status CVideoCap::QueryInterface(InterfaceId riid, void** ppv) {
  if (!ppv) return kPointer;
  if (riid != InterfaceId::SampleGrabberCB && riid != InterfaceId::Unknown) return kNoInterface;
  *ppv = this;
  return kOk;
}

Status CVideoCap::SampleCB(double, GstSample*) { return kFalse; }

void CVideoCap::installGrabberProbe() {
  GstPad* pad = gst_element_get_static_pad(m_pGrabber, "src");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onGrabberBuffer, this, nullptr);
  gst_object_unref(pad);
}

Status CVideoCap::BufferCB(double, const std::uint8_t* buffer, std::size_t length) {
  m_snapshot.offer(buffer, length);
  m_timing.stamp();
  frame_stats::produced.fetch_add(1, std::memory_order_relaxed);
  return kFalse;
}

void CVideoCap::Prepare() {
  if (m_tables || m_pTableThread) return;
  m_tables = std::make_unique<ConversionTables>();
  ConversionTables* tables = m_tables.get();
  m_pTableThread = std::make_unique<std::thread>([tables] { BuildConversionTables(*tables); });
  raiseToHighestPriority(*m_pTableThread);
}

void CVideoCap::joinTableWorker() {
  if (!m_pTableThread) return;
  m_pTableThread->join();
  m_pTableThread.reset();
}

std::chrono::nanoseconds CVideoCap::snapshotTimeout() const {
  const double fps = m_graphFormat.fps.value();
  const auto interval =
      fps > 0 ? std::chrono::duration<double>(1.0 / fps) : std::chrono::duration<double>::zero();
  return kovracam::snapshotTimeout(std::chrono::duration_cast<std::chrono::nanoseconds>(interval));
}

int CVideoCap::GetSnapshot(std::uint8_t* bits, std::size_t length) {
  if (!bits || !isRunning()) return 0;
  const bool yuy2 = m_nPixelFormat == kPixelYUY2;
  const auto sizes = snapshotSizes(m_nWidth, m_nHeight, yuy2, length);
  if (!sizes) return 0;
  if (!m_tables) Prepare();  // an engine that was never prepared builds its tables now
  joinTableWorker();         // no snapshot before the tables are complete

  const auto block = m_snapshot.requestFrame(sizes->frameBytes, snapshotTimeout());
  if (!block) return 0;

  if (yuy2) {
    ConvertYUY2ToRGB24(bits, m_nHeight, m_nWidth, block.get(), *m_tables);
  } else {
    // Camera rows arrive top row first; the picture wants the bottom row first.
    const std::size_t rows = sizes->rows;
    const std::size_t stride = sizes->pictureStride;
    for (std::size_t row = 0; row < rows; ++row) {
      std::memcpy(bits + (rows - 1 - row) * stride, block.get() + row * stride, stride);
    }
  }
  return 1;
}

Status CVideoCap::GetFrameRate(double* rate) {
  if (!rate) return kPointer;
  *rate = m_timing.read();
  return kOk;
}

}  // namespace kovracam
