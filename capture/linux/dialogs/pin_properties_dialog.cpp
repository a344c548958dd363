#include "capture/linux/dialogs/pin_properties_dialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace kovracam {

QString formatListText(const CaptureFormat& format) {
  QString rate = QString::number(format.fps.value(), 'f', 2);
  // 30.00 reads as 30, 7.50 as 7.5.
  while (rate.endsWith(QLatin1Char('0'))) rate.chop(1);
  if (rate.endsWith(QLatin1Char('.'))) rate.chop(1);
  return QStringLiteral("%1  %2 x %3  %4 fps")
      .arg(QString::fromLatin1(subtypeName(format.subtype)))
      .arg(format.width)
      .arg(format.height)
      .arg(rate);
}

PinPropertiesDialog::PinPropertiesDialog(std::vector<CaptureFormat> offered,
                                         const CaptureFormat& current, QWidget* owner)
    : QDialog(owner), offered_(std::move(offered)) {
  // This dialog carries no caption of its own.
  setWindowTitle(QString());
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  int currentRow = -1;
  for (std::size_t i = 0; i < offered_.size(); ++i) {
    auto* item = new QListWidgetItem(formatListText(offered_[i]), list_);
    item->setToolTip(QString::fromStdString(describe(offered_[i])));
    if (currentRow < 0 && offered_[i] == current) currentRow = static_cast<int>(i);
  }
  if (currentRow >= 0) {
    list_->setCurrentRow(currentRow);
    list_->scrollToItem(list_->item(currentRow));
  }
  layout->addWidget(list_);

  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  okButton()->setEnabled(!offered_.empty());
  layout->addWidget(buttons_);

  connect(buttons_, &QDialogButtonBox::accepted, this, &PinPropertiesDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &PinPropertiesDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    list_->setCurrentItem(item);
    accept();
  });

  // move() on a window places its frame, so the frame's corner lands at the offset.
  if (owner != nullptr) move(owner->mapToGlobal(QPoint(30, 30)));
}

QPushButton* PinPropertiesDialog::okButton() const {
  return buttons_->button(QDialogButtonBox::Ok);
}

QPushButton* PinPropertiesDialog::cancelButton() const {
  return buttons_->button(QDialogButtonBox::Cancel);
}

void PinPropertiesDialog::accept() {
  chosen_.reset();
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (!selected.isEmpty()) {
    const int row = list_->row(selected.front());
    if (row >= 0 && row < static_cast<int>(offered_.size())) chosen_ = offered_[row];
  }
  QDialog::accept();
}

void PinPropertiesDialog::reject() {
  chosen_.reset();
  QDialog::reject();
}

}  // namespace kovracam
