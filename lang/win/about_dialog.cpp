#include "lang/win/about_dialog.h"

#include "base/win/wide_text.h"
#include "lang/ui_text_table.h"
#include "res/win/resource_ids.h"

namespace kovracam {

void CAboutDlg::DoModal(HWND owner) {
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, DialogProc,
                  reinterpret_cast<LPARAM>(this));
}

void CAboutDlg::OnInitDialog(HWND dialog) {
  if (!m_pUiTexts) return;  // the template's own texts
  const UiTextTable& texts = *m_pUiTexts;
  SetDlgItemTextW(dialog, IDOK, toWide(texts[IDS_OK]).c_str());
  SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, toWide(texts[IDS_ABOUT_VERSION]).c_str());
  SetDlgItemTextW(dialog, IDC_ABOUT_COPYRIGHT, toWide(texts[IDS_ABOUT_COPYRIGHT]).c_str());
  SetWindowTextW(dialog, toWide(texts[IDS_ABOUT_CAPTION]).c_str());
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      reinterpret_cast<CAboutDlg*>(lParam)->OnInitDialog(dialog);
      return TRUE;  // the default focus
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace kovracam
