#pragma once
// The frame's client view: paints the banner strip across its top, hosts the engine's video
// window under it, owns the engine and the device list, and fills the Device menu.

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/win/gdi_handles.h"
#include "capture/device/device_record.h"
#include "capture/status.h"
#include "capture/win/video_cap.h"
#include "framework/win/wnd.h"

namespace kovracam {

class UiTextTable;

// Height of the banner strip, the video window's y position, and what the view adds to the
// video height when it reports the size it needs.
inline constexpr int BANNER_STRIP_HEIGHT = 50;

class CChildView : public CWnd {
 public:
  CChildView();
  ~CChildView() override;

  bool Create(HWND parent, DWORD style, UINT id);
  // Lists the cameras into `deviceMenu` (whose only item is the first device's) and picks the
  // remembered one. Non-zero when no camera could be listed, after the no-camera box.
  Status FillDeviceMenu(HMENU deviceMenu);
  void SaveDeviceChoice(std::uint32_t id);
  Status StartPreview(int index, int* width, int* heightWithBanner);
  // Builds the current camera's graph again with the capture pin's pages shown between building
  // and rendering, and starts it. A start that fails leaves no graph behind.
  Status RestartWithPinProperties(int* width, int* heightWithBanner);
  // The current camera's graph again, recording to `path` beside the preview. A recording that
  // starts counts as running, also when the preview before it could not start: stopping it, and
  // a failure it reports, are then handled as for any running graph.
  Status StartRecording(const std::wstring& path, int* width, int* heightWithBanner);
  // Stops and releases a running graph.
  void StopPreview();
  // Whether `id` is the command of a listed device.
  bool HasDevice(std::uint32_t id) const;

  const UiTextTable* m_pUiTexts = nullptr;
  CVideoCap m_videoCap;
  DeviceList m_devices;
  bool m_bRunning = false;  // a graph of ours runs (preview, or preview and recording)
  std::wstring m_strCurDir;
  std::uint32_t m_nCurDevice = 0;
  int m_nBannerWidth = 0;
  int m_nBannerHeight = 0;

 protected:
  bool PreCreateWindow(CREATESTRUCTW& cs);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnPaint();
  void LoadDeviceChoice();
  void ShowNoCameraBox();
  const DeviceRecord* recordAt(int index) const;
  Status RebuildCurrentDevice(int* width, int* height);

  ScopedGdiObject<HBITMAP> m_bmpBanner;
};

}  // namespace kovracam
