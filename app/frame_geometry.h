#pragma once
// The sizes the frame keeps around the video: the view is 5 pixels wider and 5 taller than the
// video plus banner, and the video window sits right under the banner.

#include <QRect>
#include <QSize>

namespace kovracam {

// Where the video window goes in a view whose client is (cx, cy - statusBarHeight): cx and cy
// are the frame's client below the menu bar.
inline QRect videoRectForClient(int cx, int cy, int statusBarHeight) {
  return QRect(0, 50, cx - 5, cy - statusBarHeight - 55);
}

// The view's client size for a video of width x heightWithBanner.
inline QSize viewSizeForVideo(int width, int heightWithBanner) {
  return QSize(width + 5, heightWithBanner + 5);
}

// The frame's client size (menu bar and status bar included) for that view.
inline QSize frameSizeForVideo(int width, int heightWithBanner, int menuBarHeight,
                               int statusBarHeight) {
  const QSize view = viewSizeForVideo(width, heightWithBanner);
  return QSize(view.width(), menuBarHeight + view.height() + statusBarHeight);
}

}  // namespace kovracam
