#pragma once
// A top-level frame window built from resources: menu, accelerators and title share one id.
// Messages reach the virtual handlers below; commands go to OnCommand.

#include <windows.h>

#include "framework/win/wnd.h"

namespace kovracam {

class CFrameWnd : public CWnd {
 public:
  // Creates the window hidden at the system's default place and size.
  bool LoadFrame(UINT resourceId, DWORD style);
  HMENU GetMenu() const { return m_hWnd ? ::GetMenu(m_hWnd) : nullptr; }

  HACCEL m_hAccelTable = nullptr;  // a resource: freed with the module

 protected:
  // The window class and styles; the base registers a plain class.
  virtual bool PreCreateWindow(CREATESTRUCTW& cs);
  virtual int OnCreate(const CREATESTRUCTW& cs);
  virtual void OnSize(UINT type, int cx, int cy);
  virtual void OnClose();
  // The session is ending (log-off, shut-down): true lets it end. OnEndSession(true) is the
  // last word before the process may be ended without further messages.
  virtual bool OnQueryEndSession();
  virtual void OnEndSession(bool ending);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnInitMenuPopup(HMENU popup, UINT index, bool isSystemMenu);
  virtual void OnSetFocus();
  // True when the command was handled.
  virtual bool OnCommand(UINT id);
  // The children's layout: status bar at the bottom, the view over the rest.
  virtual void RecalcLayout();

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace kovracam
