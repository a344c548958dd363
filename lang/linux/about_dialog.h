#pragma once
// The About box: the program's icon, the version and copyright lines and an OK button, laid out
// as dialog template 100 and labelled from the text table whenever it opens.

#include <QDialog>
#include <QRect>

class QLabel;
class QPushButton;

namespace kovracam {

class UiTextTable;

inline constexpr int IDC_ABOUT_VERSION = 1000;
inline constexpr int IDC_ABOUT_COPYRIGHT = 1001;

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* owner = nullptr);
  ~CAboutDlg() override;

  bool OnInitDialog();
  QLabel* versionText() const { return m_wndVersion; }
  QLabel* copyrightText() const { return m_wndCopyright; }
  QPushButton* okButton() const { return m_wndOk; }

  const UiTextTable* m_pUiTexts = nullptr;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // A rectangle of the template in dialog units, in pixels at the dialog's font.
  QRect fromDialogUnits(int x, int y, int cx, int cy) const;

  QLabel* m_wndVersion = nullptr;
  QLabel* m_wndCopyright = nullptr;
  QPushButton* m_wndOk = nullptr;
};

}  // namespace kovracam
