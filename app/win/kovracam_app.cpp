#include "app/win/kovracam_app.h"

#include <commctrl.h>

#include "app/win/main_frame.h"
#include "lang/win/about_dialog.h"
#include "res/command_ids.h"
#include "res/win/resource_ids.h"

namespace kovracam {

CKOVRACAMApp::CKOVRACAMApp() = default;

CKOVRACAMApp::~CKOVRACAMApp() = default;

bool CKOVRACAMApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  m_frame = std::make_unique<CMainFrame>();
  m_pMainWnd = m_frame.get();
  if (!m_frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
    m_pMainWnd = nullptr;
    m_frame.reset();
    return false;
  }
  const auto fail = [this] {
    m_frame->DestroyWindow();  // never shown
    m_pMainWnd = nullptr;
    m_frame.reset();
    return false;
  };
  const HMENU deviceMenu = GetSubMenu(m_frame->GetMenu(), 1);
  if (m_frame->m_wndView.FillDeviceMenu(deviceMenu) != kOk) return fail();
  m_frame->m_nSelectedDevice = m_frame->m_wndView.m_nCurDevice;
  if (m_frame->StartPreviewAndFit() != kOk) return fail();
  ShowWindow(m_frame->m_hWnd, SW_SHOW);
  UpdateWindow(m_frame->m_hWnd);
  m_pUiTexts = m_frame->m_pUiTexts.get();
  return true;
}

int CKOVRACAMApp::ExitInstance(int loopResult) {
  m_pUiTexts = nullptr;
  m_pMainWnd = nullptr;
  m_frame.reset();
  return loopResult;
}

bool CKOVRACAMApp::OnCmdMsg(UINT id) {
  if (id != ID_APP_ABOUT) return false;
  ShowAboutBox();
  return true;
}

void CKOVRACAMApp::ShowAboutBox() {
  CAboutDlg dialog;
  dialog.m_pUiTexts = m_pUiTexts;
  dialog.DoModal(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr);
}

}  // namespace kovracam
