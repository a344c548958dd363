#include "app/win/main_frame.h"

#include <commctrl.h>

#include <cstdio>

#include "app/frame_geometry.h"
#include "base/win/wide_text.h"
#include "lang/win/ui_text_loading.h"
#include "res/command_ids.h"
#include "res/win/resource_ids.h"

namespace kovracam {
namespace {

constexpr UINT kViewId = 0xE900;       // the frame's first pane
constexpr UINT kStatusBarId = 0xE801;  // the frame's status bar
constexpr int kFilePopup = 0;
constexpr int kOptionPopup = 2;
constexpr int kCapturePopup = 3;
constexpr int kHelpPopup = 4;
constexpr int kFrequencyPosition = 4;  // in the Option popup

}  // namespace

CMainFrame::CMainFrame()
    : m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CMainFrame::~CMainFrame() {
  m_pUiTexts.reset();
  // Every COM reference goes while COM is still initialised.
  m_wndView.m_videoCap.TearDown();
}

bool CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
  cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
  return RegisterWndClass(cs.lpszClass, 0, nullptr, nullptr, nullptr);
}

int CMainFrame::OnCreate(const CREATESTRUCTW&) {
  if (!m_wndView.Create(m_hWnd, WS_CHILD | WS_VISIBLE | WS_BORDER, kViewId)) return -1;
  if (!m_wndStatusBar.Create(m_hWnd, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, kStatusBarId)) {
    return -1;
  }
  if (!m_wndStatusBar.SetIndicators(1)) return -1;
  SetTimer(m_hWnd, FRAME_RATE_TIMER, 1000, nullptr);
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  LocalizeUi();
  m_wndView.m_pUiTexts = m_pUiTexts.get();
  watchStreamFailures();
  return 0;
}

void CMainFrame::relabel(HMENU menu, UINT item, bool byPosition, int text) {
  // Only the text changes: the item keeps its id, its state and its submenu.
  const std::wstring label = toWide((*m_pUiTexts)[text]);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  info.dwTypeData = const_cast<wchar_t*>(label.c_str());
  SetMenuItemInfoW(menu, item, byPosition, &info);
}

void CMainFrame::LocalizeUi() {
  const unsigned count = CountUiTexts();
  m_pUiTexts = std::make_unique<UiTextTable>(count);
  LoadUiTexts(*m_pUiTexts, count);
  const HMENU bar = GetMenu();
  const int titles[] = {IDS_MENU_FILE, IDS_MENU_DEVICE, IDS_MENU_OPTION, IDS_MENU_CAPTURE,
                        IDS_MENU_HELP};
  for (UINT position = 0; position < 5; ++position) relabel(bar, position, true, titles[position]);
  relabel(GetSubMenu(bar, kFilePopup), ID_APP_EXIT, false, IDS_MENU_EXIT);
  const HMENU option = GetSubMenu(bar, kOptionPopup);
  relabel(option, ID_OPTION_PREVIEW, false, IDS_MENU_PREVIEW);
  relabel(option, ID_OPTION_FILTER_PROPERTIES, false, IDS_MENU_FILTER_PROPERTIES);
  relabel(option, ID_OPTION_PIN_PROPERTIES, false, IDS_MENU_PIN_PROPERTIES);
  relabel(option, kFrequencyPosition, true, IDS_MENU_FREQUENCY);
  const HMENU capture = GetSubMenu(bar, kCapturePopup);
  relabel(capture, ID_CAPTURE_START, false, IDS_MENU_START_CAPTURE);
  relabel(capture, ID_CAPTURE_STOP, false, IDS_MENU_STOP_CAPTURE);
  relabel(capture, ID_CAPTURE_SNAPSHOT, false, IDS_MENU_SNAPSHOT);
  relabel(GetSubMenu(bar, kHelpPopup), ID_APP_ABOUT, false, IDS_MENU_ABOUT);
}

Status CMainFrame::StartPreviewAndFit() {
  int width = 0;
  int heightWithBanner = 0;
  const Status status = m_wndView.StartPreview(
      static_cast<int>(m_nSelectedDevice - ID_DEVICE_FIRST), &width, &heightWithBanner);
  if (status != kOk) return status;
  FitToVideo(width, heightWithBanner);
  return kOk;
}

void CMainFrame::FitToVideo(int width, int heightWithBanner) {
  // The outer size for a client that holds the view around the video and the status bar, from
  // the system's own decorations: 13 by 78 more than the video with the decorations those
  // figures were taken from, and still a fit where caption, menu bar and borders differ.
  const FrameSize client = frameSizeForVideo(width, heightWithBanner, 0, m_wndStatusBar.Height());
  RECT outer{0, 0, client.width, client.height};
  const auto style = static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_EXSTYLE));
  if (!AdjustWindowRectEx(&outer, style, TRUE, exStyle)) {
    const FrameSize classic = fittedFrameSize(width, heightWithBanner);
    outer = RECT{0, 0, classic.width, classic.height};
  }
  // The restored rectangle changes: a maximised or minimised frame takes it when restored.
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(m_hWnd, &placement)) return;
  RECT& normal = placement.rcNormalPosition;
  normal.right = normal.left + (outer.right - outer.left);
  normal.bottom = normal.top + (outer.bottom - outer.top);
  SetWindowPlacement(m_hWnd, &placement);
  // A frame narrower than the menu bar's titles wraps them into more rows than the sizing
  // counted: the client then comes out short by those rows, and the frame grows by them once.
  // Only a frame shown at its restored size can be measured.
  RECT inner{};
  if (IsIconic(m_hWnd) || IsZoomed(m_hWnd) || !GetClientRect(m_hWnd, &inner)) return;
  const int shortBy = client.height - (inner.bottom - inner.top);
  if (shortBy <= 0) return;
  normal.bottom += shortBy;
  SetWindowPlacement(m_hWnd, &placement);
}

void CMainFrame::RecalcLayout() {
  if (!m_wndStatusBar.m_hWnd || !m_wndView.m_hWnd) return;
  m_wndStatusBar.RecalcLayout();
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const int viewHeight = client.bottom - m_wndStatusBar.Height();
  MoveWindow(m_wndView.m_hWnd, 0, 0, client.right, viewHeight > 0 ? viewHeight : 0, TRUE);
}

void CMainFrame::OnSize(UINT type, int cx, int cy) {
  CFrameWnd::OnSize(type, cx, cy);
  if (!m_wndView.m_hWnd) return;
  const FrameRect video = videoRectForClient(cx, cy, m_wndStatusBar.Height());
  m_wndView.m_videoCap.PlaceVideoWindow(m_wndView.m_hWnd, video.width, video.height);
}

void CMainFrame::OnSetFocus() {
  if (m_wndView.m_hWnd) SetFocus(m_wndView.m_hWnd);
}

void CMainFrame::OnClose() {
  m_wndView.StopPreview();  // a recording in progress ends with its graph
  KillTimer(m_hWnd, FRAME_RATE_TIMER);
  CFrameWnd::OnClose();
}

void CMainFrame::OnTimer(UINT_PTR) {
  double rate = 0.0;
  const Status status = m_wndView.m_videoCap.GetFrameRate(&rate);
  char text[64];
  std::snprintf(text, sizeof text, "Frame Rate %3.1f", rate);
  const std::wstring pane = status == kOk && m_bPreview ? widenUtf8(text) : std::wstring();
  m_wndStatusBar.SetPaneText(0, pane, true);
}

}  // namespace kovracam
