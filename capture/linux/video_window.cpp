#include "capture/linux/video_window.h"

#include <libyuv.h>

#include <QPainter>

#include "capture/linux/frame_mailbox.h"
#include "capture/linux/frame_stats.h"

namespace kovracam {
namespace {

// When any video window last painted a new frame, for the gaps measured while recording.
std::int64_t lastPaintNs = 0;

}  // namespace

VideoWindow::VideoWindow(FrameMailbox& mailbox, QWidget* owner)
    : QWidget(owner), mailbox_(mailbox) {
  // Every pixel is painted from the frame: skip the background fill.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  connect(&mailbox_, &FrameMailbox::frameReady, this, &VideoWindow::takeNewestFrame);
}

VideoWindow::~VideoWindow() = default;

void VideoWindow::takeNewestFrame() {
  GstSample* sample = mailbox_.take();
  if (!sample) return;
  GstVideoInfo info;
  GstVideoFrame frame;
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) || !buffer ||
      !gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
    gst_sample_unref(sample);
    return;
  }
  const int width = GST_VIDEO_FRAME_WIDTH(&frame);
  const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
  if (image_.size() != QSize(width, height)) image_ = QImage(width, height, QImage::Format_RGB32);
  const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
  // libyuv's ARGB is B, G, R, A in memory: QImage's RGB32 on little-endian machines.
  int converted = -1;
  switch (GST_VIDEO_FRAME_FORMAT(&frame)) {
    case GST_VIDEO_FORMAT_YUY2:
      converted = libyuv::YUY2ToARGB(pixels, stride, image_.bits(),
                                     static_cast<int>(image_.bytesPerLine()), width, height);
      break;
    case GST_VIDEO_FORMAT_BGR:
      converted = libyuv::RGB24ToARGB(pixels, stride, image_.bits(),
                                      static_cast<int>(image_.bytesPerLine()), width, height);
      break;
    case GST_VIDEO_FORMAT_BGRx:
      converted = libyuv::ARGBCopy(pixels, stride, image_.bits(),
                                   static_cast<int>(image_.bytesPerLine()), width, height);
      break;
    default:
      break;
  }
  gst_video_frame_unmap(&frame);
  gst_sample_unref(sample);
  if (converted != 0) return;
  unpainted_ = true;
  update();
}

void VideoWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (image_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (image_.size() == size()) {
    painter.drawImage(0, 0, image_);
  } else {
    painter.drawImage(rect(), image_);
  }
  if (unpainted_) {
    unpainted_ = false;
    ++framesPainted_;
    const std::int64_t now = frame_stats::nowNs();
    if (frame_stats::painted.fetch_add(1, std::memory_order_relaxed) == 0) {
      frame_stats::firstPaintNs.store(now, std::memory_order_relaxed);
    }
    // Painting happens on this thread only, as do the start and stop of a recording.
    const std::int64_t recordingSince =
        frame_stats::recordingSinceNs.load(std::memory_order_relaxed);
    if (recordingSince != 0 && lastPaintNs >= recordingSince) {
      if (now - lastPaintNs > frame_stats::recordingMaxGapNs.load(std::memory_order_relaxed)) {
        frame_stats::recordingMaxGapNs.store(now - lastPaintNs, std::memory_order_relaxed);
        frame_stats::recordingMaxGapEndNs.store(now, std::memory_order_relaxed);
      }
    } else if (frame_stats::awaitingPreviewPaint.load(std::memory_order_relaxed)) {
      frame_stats::awaitingPreviewPaint.store(false, std::memory_order_relaxed);
      frame_stats::previewPaintNs.store(now, std::memory_order_relaxed);
    }
    lastPaintNs = now;
  }
}

}  // namespace kovracam
