#pragma once
// The sizes the frame keeps around the video: the view is 5 pixels wider and 5 taller than the
// video plus banner, and the video window sits right under the banner.

namespace kovracam {

struct FrameSize {
  int width = 0;
  int height = 0;
  bool operator==(const FrameSize&) const = default;
};

struct FrameRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const FrameRect&) const = default;
};

// Where the video window goes in a view whose client is (cx, cy - statusBarHeight): cx and cy
// are the frame's client below the menu bar.
inline FrameRect videoRectForClient(int cx, int cy, int statusBarHeight) {
  return {0, 50, cx - 5, cy - statusBarHeight - 55};
}

// The view's client size for a video of width x heightWithBanner.
inline FrameSize viewSizeForVideo(int width, int heightWithBanner) {
  return {width + 5, heightWithBanner + 5};
}

// The frame's client size (menu bar and status bar included) for that view.
inline FrameSize frameSizeForVideo(int width, int heightWithBanner, int menuBarHeight,
                                   int statusBarHeight) {
  const FrameSize view = viewSizeForVideo(width, heightWithBanner);
  return {view.width, menuBarHeight + view.height + statusBarHeight};
}

// The frame's outer size, borders, caption, menu bar and status bar included, as a frame with the
// classic fixed decorations takes it around that video: 13 wider and 78 taller.
inline FrameSize fittedFrameSize(int width, int heightWithBanner) {
  return {width + 13, heightWithBanner + 78};
}

}  // namespace kovracam
