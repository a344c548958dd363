#include "capture/video_window.h"

#include <QPainter>
#include <chrono>

#include "capture/frame_mailbox.h"
#include "capture/frame_stats.h"

namespace kovracam {

VideoWindow::VideoWindow(FrameMailbox& mailbox, QWidget* owner)
    : QWidget(owner), mailbox_(mailbox) {
  // Every pixel is painted from the frame: skip the background fill.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  connect(&mailbox_, &FrameMailbox::frameReady, this, &VideoWindow::takeNewestFrame);
}

VideoWindow::~VideoWindow() { releaseFrame(); }

void VideoWindow::releaseFrame() {
  image_ = QImage();
  if (mapped_) gst_video_frame_unmap(&frame_);
  mapped_ = false;
  if (sample_) gst_sample_unref(sample_);
  sample_ = nullptr;
}

void VideoWindow::takeNewestFrame() {
  GstSample* sample = mailbox_.take();
  if (!sample) return;
  releaseFrame();
  sample_ = sample;
  GstVideoInfo info;
  GstBuffer* buffer = gst_sample_get_buffer(sample_);
  if (!gst_video_info_from_caps(&info, gst_sample_get_caps(sample_)) || !buffer ||
      !gst_video_frame_map(&frame_, &info, buffer, GST_MAP_READ)) {
    releaseFrame();
    return;
  }
  mapped_ = true;
  // The preview branch converts to BGRx, which is QImage's RGB32 on little-endian machines; the
  // image borrows the mapped pixels until the next frame replaces them.
  image_ = QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0)),
                  GST_VIDEO_FRAME_WIDTH(&frame_), GST_VIDEO_FRAME_HEIGHT(&frame_),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0), QImage::Format_RGB32);
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
    if (frame_stats::painted.fetch_add(1, std::memory_order_relaxed) == 0) {
      frame_stats::firstPaintNs.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count(),
                                      std::memory_order_relaxed);
    }
  }
}

}  // namespace kovracam
