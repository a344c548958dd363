#pragma once
// The About box: dialog template 100, its texts from the user-interface text table.

#include <windows.h>

namespace kovracam {

class UiTextTable;

class CAboutDlg {
 public:
  // Runs the dialog modally, owned by `owner`.
  void DoModal(HWND owner);

  const UiTextTable* m_pUiTexts = nullptr;

 private:
  void OnInitDialog(HWND dialog);
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace kovracam
