#pragma once
// The engine's own video window, for a camera whose subtype no renderer in the graph can draw:
// the streaming thread leaves the newest frame, as a bottom-up 24-bit picture, in one slot and
// wakes the window; the window paints that slot on the user-interface thread.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "capture/pixel/pixel_conversion.h"

namespace kovracam {

class FrameWindow {
 public:
  FrameWindow() = default;
  ~FrameWindow() { close(); }
  FrameWindow(const FrameWindow&) = delete;
  FrameWindow& operator=(const FrameWindow&) = delete;

  // User-interface thread: a child of `owner` at (x, y), width x height; moved when open.
  bool place(HWND owner, int x, int y, int width, int height);
  // User-interface thread: the window goes; frames offered from then on are dropped.
  void close();
  bool isOpen() const;  // user-interface thread

  // Streaming thread. `frame` is YUY2 (converted through `tables`, nothing without them) or
  // already a bottom-up 24-bit picture (copied), `frameWidth` x `frameHeight`.
  void offer(const std::uint8_t* frame, std::size_t length, int frameWidth, int frameHeight,
             bool yuy2, const ConversionTables* tables);

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);
  void paint(HWND window);

  mutable std::mutex m_lock;         // guards everything below
  HWND m_hWnd = nullptr;             // set and cleared on the user-interface thread only
  std::vector<std::uint8_t> m_bits;  // the newest picture, bottom row first
  int m_width = 0;
  int m_height = 0;
  bool m_bWakePending = false;  // one wake-up in the window's queue at most
};

}  // namespace kovracam
