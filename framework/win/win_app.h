#pragma once
// The application object: start-up, the message loop (with the main window's accelerators) and
// the commands the application itself handles.

#include <windows.h>

namespace kovracam {

class CFrameWnd;

class CWinApp {
 public:
  CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  virtual ~CWinApp();

  // False ends the program without entering the message loop.
  virtual bool InitInstance() = 0;
  // After the loop: releases what start-up made; the result is the exit status.
  virtual int ExitInstance(int loopResult);
  // The application's own commands, offered after the frame's; true when handled.
  virtual bool OnCmdMsg(UINT id);
  // Runs the message loop until WM_QUIT; its exit code.
  int Run();

  CFrameWnd* m_pMainWnd = nullptr;  // not owned here
};

CWinApp* AfxGetApp();

}  // namespace kovracam
