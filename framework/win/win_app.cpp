#include "framework/win/win_app.h"

#include "framework/win/frame_wnd.h"

namespace kovracam {
namespace {

CWinApp* theOneApp = nullptr;

}  // namespace

CWinApp::CWinApp() { theOneApp = this; }

CWinApp::~CWinApp() { theOneApp = nullptr; }

CWinApp* AfxGetApp() { return theOneApp; }

int CWinApp::ExitInstance(int loopResult) { return loopResult; }

bool CWinApp::OnCmdMsg(UINT) { return false; }

int CWinApp::Run() {
  MSG msg{};
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return 1;
    const HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    if (main && m_pMainWnd->m_hAccelTable &&
        TranslateAcceleratorW(main, m_pMainWnd->m_hAccelTable, &msg)) {
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace kovracam
