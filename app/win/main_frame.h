#pragma once
// The main window: the menu bar, the camera view under it, the one-pane status bar showing the
// frame rate, and the commands of the menus.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/win/gdi_handles.h"
#include "capture/status.h"
#include "framework/win/frame_wnd.h"
#include "framework/win/status_bar.h"
#include "lang/ui_text_table.h"
#include "view/win/child_view.h"

namespace kovracam {

inline constexpr UINT_PTR FRAME_RATE_TIMER = 1;

class CMainFrame : public CFrameWnd {
 public:
  CMainFrame();
  ~CMainFrame() override;

  Status StartPreviewAndFit();
  void FitToVideo(int width, int heightWithBanner);
  void LocalizeUi();

  HICON m_hIcon;  // a resource: freed with the module
  CStatusBar m_wndStatusBar;
  CChildView m_wndView;
  bool m_bPreview = true;
  bool m_bRecording = false;
  std::uint32_t m_nSelectedDevice = 0;
  std::unique_ptr<UiTextTable> m_pUiTexts;

 protected:
  bool PreCreateWindow(CREATESTRUCTW& cs) override;
  int OnCreate(const CREATESTRUCTW& cs) override;
  void OnSize(UINT type, int cx, int cy) override;
  void OnClose() override;
  void OnEndSession(bool ending) override;
  void OnTimer(UINT_PTR id) override;
  void OnInitMenuPopup(HMENU popup, UINT index, bool isSystemMenu) override;
  void OnSetFocus() override;
  bool OnCommand(UINT id) override;
  void RecalcLayout() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnOptionPreview();
  void OnDevice(std::uint32_t id);
  void OnAppExit();
  // The camera's own pages and its power-line frequency (main_frame_options.cpp).
  void OnOptionFilterProperties();
  void OnOptionPinProperties();
  void OnFrequency50Hz();
  void OnFrequency60Hz();
  // Recording (main_frame_capture.cpp) and snapshots (main_frame_snapshot.cpp).
  void OnCaptureStart();
  void OnCaptureStop();
  void OnCaptureSnapshot();
  // The camera failed mid-stream or the recording's file could not be written.
  void watchStreamFailures();
  void OnStreamFailed(long eventCode);
  void showFailureBox(const std::wstring& text);
  void RebuildDeviceMenu(HMENU popup);
  void relabel(HMENU menu, UINT item, bool byPosition, int text);

  // Declared last: COM comes up after the view's construction and goes before the view, whose
  // graph the destructor releases first.
  ComApartment m_comApartment;
};

}  // namespace kovracam
