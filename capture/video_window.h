#pragma once
// The engine's video window: a child of the camera view that paints the newest preview frame
// scaled to its own size.

#include <gst/gst.h>
#include <gst/video/video.h>

#include <QImage>
#include <QWidget>
#include <cstdint>

namespace kovracam {

class FrameMailbox;

class VideoWindow : public QWidget {
  Q_OBJECT

 public:
  VideoWindow(FrameMailbox& mailbox, QWidget* owner);
  ~VideoWindow() override;

  std::uint64_t framesPainted() const { return framesPainted_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void takeNewestFrame();
  void releaseFrame();

  FrameMailbox& mailbox_;
  GstSample* sample_ = nullptr;  // keeps image_'s pixels alive
  GstVideoFrame frame_{};
  bool mapped_ = false;
  QImage image_;
  bool unpainted_ = false;
  std::uint64_t framesPainted_ = 0;
};

}  // namespace kovracam
