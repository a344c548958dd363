#include "lang/linux/about_dialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "lang/ui_text_table.h"
#include "res/linux/resources.h"

namespace kovracam {

CAboutDlg::CAboutDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setModal(true);
  setWindowTitle(QStringLiteral("About KOVRACAM"));  // replaced from the table on opening
  setFixedSize(fromDialogUnits(0, 0, 272, 110).size());

  auto* icon = new QLabel(this);
  icon->setGeometry(fromDialogUnits(19, 15, 21, 20));
  icon->setPixmap(appIcon().pixmap(icon->size().boundedTo(QSize(32, 32))));

  m_wndVersion = new QLabel(QStringLiteral("KOVRACAM Version 1.0"), this);
  m_wndVersion->setTextFormat(Qt::PlainText);
  m_wndVersion->setGeometry(fromDialogUnits(79, 21, 162, 8));

  m_wndCopyright = new QLabel(QStringLiteral("Copyright (C)"), this);
  m_wndCopyright->setTextFormat(Qt::PlainText);
  m_wndCopyright->setGeometry(fromDialogUnits(55, 46, 180, 8));

  // The default button: Enter presses it; Escape and the close box reject the dialog.
  m_wndOk = new QPushButton(QStringLiteral("OK"), this);
  m_wndOk->setGeometry(fromDialogUnits(103, 87, 50, 16));
  m_wndOk->setDefault(true);
  connect(m_wndOk, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

QRect CAboutDlg::fromDialogUnits(int x, int y, int cx, int cy) const {
  // Dialog base units: the average width of the letters and the height of the font.
  const QFontMetrics metrics(font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  const int baseY = metrics.height();
  return QRect(x * baseX / 4, y * baseY / 8, cx * baseX / 4, cy * baseY / 8);
}

void CAboutDlg::showEvent(QShowEvent* e) {
  if (!e->spontaneous()) OnInitDialog();
  QDialog::showEvent(e);
}

bool CAboutDlg::OnInitDialog() {
  if (!m_pUiTexts) return true;
  const UiTextTable& t = *m_pUiTexts;
  m_wndOk->setText(QString::fromStdU16String(t[IDS_OK]));
  m_wndVersion->setText(QString::fromStdU16String(t[IDS_ABOUT_VERSION]));
  m_wndCopyright->setText(QString::fromStdU16String(t[IDS_ABOUT_COPYRIGHT]));
  setWindowTitle(QString::fromStdU16String(t[IDS_ABOUT_CAPTION]));
  return true;
}

}  // namespace kovracam
