// The per-frame side of the engine: counting and stamping frames, the snapshot hand-over and the
// frame-rate reading.

#include <gst/video/video.h>

#include <pthread.h>
#include <sched.h>
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

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

// What the grabber's probe keeps on the streaming thread: the layout the format gives the
// camera's frames, and the packed one the snapshot takes (YUY2 rows of 2 bytes a pixel, 24-bit
// rows padded to 4 bytes).
struct GrabberProbe {
  CVideoCap* engine = nullptr;
  SnapshotHandover* snapshot = nullptr;
  GstVideoInfo info{};
  std::size_t rows = 0;
  std::size_t rowBytes = 0;
  std::size_t packedStride = 0;

  std::size_t packedBytes() const { return packedStride * rows; }

  // Hands the frame on: counted always, a picture only when its memory holds all its rows (a
  // camera may send part of a frame). A driver that pads its lines otherwise (many align them
  // to 16 or 64 bytes) has them packed only for a snapshot that asks, not on every frame.
  void pass(double sampleTime, const GstVideoFrame& frame) const {
    const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const gint stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const std::size_t lineStep = static_cast<std::size_t>(std::max(stride, 0));
    const std::size_t offset = static_cast<std::size_t>(pixels - frame.map[0].data);
    // Whether the memory reaches `lastRowBytes` into the last line.
    const auto reaches = [&](std::size_t lastRowBytes) {
      return offset + lineStep * (rows - 1) + lastRowBytes <= frame.map[0].size;
    };
    if (rows > 0 && lineStep == packedStride && reaches(packedStride)) {
      engine->BufferCB(sampleTime, pixels, packedBytes());
      return;
    }
    if (rows > 0 && lineStep >= rowBytes && reaches(rowBytes)) {
      snapshot->offerRows(pixels, lineStep, rowBytes, rows, packedStride);
    }
    engine->BufferCB(sampleTime, nullptr, 0);
  }
};

GstPadProbeReturn onGrabberBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
  const auto& probe = *static_cast<const GrabberProbe*>(data);
  GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  if (!buffer) return GST_PAD_PROBE_OK;
  const double sampleTime = GST_BUFFER_PTS_IS_VALID(buffer)
                                ? static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND
                                : 0.0;
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &probe.info, buffer, GST_MAP_READ)) {
    probe.engine->BufferCB(sampleTime, nullptr, 0);  // counted, but too short to be a picture
    return GST_PAD_PROBE_OK;
  }
  probe.pass(sampleTime, frame);
  gst_video_frame_unmap(&frame);
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

// Frames are read through their own layout (a buffer may say where its lines lie), so the
// snapshot gets whole, unskewed rows whatever the driver's line length.
void CVideoCap::installGrabberProbe() {
  auto* probe = new (std::nothrow) GrabberProbe;
  if (!probe) return;
  const bool yuy2 = m_nPixelFormat == kPixelYUY2;
  const int width = m_graphFormat.width;
  gst_video_info_set_format(&probe->info, yuy2 ? GST_VIDEO_FORMAT_YUY2 : GST_VIDEO_FORMAT_BGR,
                            static_cast<guint>(width), static_cast<guint>(m_graphFormat.height));
  probe->engine = this;
  probe->snapshot = &m_snapshot;
  probe->rows = static_cast<std::size_t>(std::max(m_graphFormat.height, 0));
  probe->rowBytes = static_cast<std::size_t>(std::max(width, 0)) * (yuy2 ? 2 : 3);
  probe->packedStride = yuy2 ? probe->rowBytes : rgb24Stride(width);
  GstPad* pad = gst_element_get_static_pad(m_pGrabber, "src");
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onGrabberBuffer, probe,
                    [](gpointer data) { delete static_cast<GrabberProbe*>(data); });
  gst_object_unref(pad);
}

Status CVideoCap::BufferCB(double, const std::uint8_t* buffer, std::size_t length) {
  if (buffer) m_snapshot.offer(buffer, length);  // a frame that is no picture is only counted
  m_timing.stamp();
  frame_stats::produced.fetch_add(1, std::memory_order_relaxed);
  return kFalse;
}

void CVideoCap::Prepare() {
  if (m_tables || m_pTableThread) return;
  try {
    m_tables = std::make_unique<ConversionTables>();
  } catch (const std::bad_alloc&) {
    return;  // no room for the tables: YUY2 snapshots are refused, and each asks again
  }
  ConversionTables* tables = m_tables.get();
  try {
    m_pTableThread = std::make_unique<std::thread>([tables] { BuildConversionTables(*tables); });
  } catch (const std::exception&) {  // std::system_error, or std::bad_alloc for its state
    // No thread to be had (a process at its thread limit): the tables are filled here, which
    // only makes this start a little slower.
    BuildConversionTables(*tables);
    return;
  }
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
  if (yuy2 && !m_tables) return 0;

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
