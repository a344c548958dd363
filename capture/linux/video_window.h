#pragma once
// The engine's video window: a child of the camera view that paints the newest preview frame
// scaled to its own size. Frames arrive as the camera delivers them (YUY2 or BGR) and are
// converted once, on the user-interface thread, straight into the image that is painted.

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

  FrameMailbox& mailbox_;
  QImage image_;  // the newest frame, converted for painting
  bool unpainted_ = false;
  std::uint64_t framesPainted_ = 0;
};

}  // namespace kovracam
