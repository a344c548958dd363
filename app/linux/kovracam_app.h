#pragma once
// The application: starts the frame, lists the cameras, previews the chosen one and only then
// shows the window.

#include <memory>

#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {

class CMainFrame;
class UiTextTable;

class CKOVRACAMApp {
 public:
  explicit CKOVRACAMApp(V4l2Io& io = systemV4l2Io());
  ~CKOVRACAMApp();

  // true to enter the event loop; false when no camera could be listed or previewed (the
  // window was never shown).
  bool InitInstance();
  CMainFrame* mainFrame() const { return m_pMainWnd.get(); }
  // Help > About: the modal About box, owned by the main window.
  void ShowAboutBox();

  const UiTextTable* m_pUiTexts = nullptr;

 private:
  V4l2Io& m_io;
  std::unique_ptr<CMainFrame> m_pMainWnd;
};

}  // namespace kovracam
