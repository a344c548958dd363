#pragma once
// The application: starts the main frame on the remembered camera and ends when it closes.

#include <memory>

#include "framework/win/win_app.h"

namespace kovracam {

class CMainFrame;
class UiTextTable;

class CKOVRACAMApp : public CWinApp {
 public:
  CKOVRACAMApp();
  ~CKOVRACAMApp() override;

  bool InitInstance() override;
  int ExitInstance(int loopResult) override;
  bool OnCmdMsg(UINT id) override;
  void ShowAboutBox();

  const UiTextTable* m_pUiTexts = nullptr;

 private:
  std::unique_ptr<CMainFrame> m_frame;  // outlives its window, released after the loop
};

}  // namespace kovracam
