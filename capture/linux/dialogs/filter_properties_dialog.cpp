#include "capture/linux/dialogs/filter_properties_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace kovracam {

namespace {

// V4L2 integer controls are 32-bit, but the interface carries 64-bit values: keep QSlider safe.
int toSliderInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

bool editable(const ControlInfo& c) {
  return !c.disabled && !c.inactive && !c.readOnly && c.type != ControlType::Button;
}

bool usable(const ControlInfo& c) { return !c.disabled && !c.inactive && !c.readOnly; }

// The nearest value the driver accepts: minimum plus a whole number of steps, never past maximum.
std::int64_t snapToStep(const ControlInfo& c, std::int64_t v) {
  const std::int64_t step = std::max<std::int64_t>(c.step, 1);
  if (v <= c.minimum) return c.minimum;
  std::int64_t snapped = c.minimum + (v - c.minimum + step / 2) / step * step;
  if (snapped > c.maximum) snapped -= step;
  return std::max(snapped, c.minimum);
}

}  // namespace

FilterPropertiesDialog::FilterPropertiesDialog(DeviceControls& controls, QWidget* owner)
    : QDialog(owner), controls_(controls) {
  setWindowTitle(tr("Capture Filter"));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  // The engine opens the dialog only for a camera that lists controls.
  const std::vector<ControlInfo> listed = controls_.list();
  auto* form = new QFormLayout;
  rows_.reserve(listed.size());
  for (const ControlInfo& info : listed) addRow(form, info);
  layout->addLayout(form);

  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->hide();
  layout->addWidget(message_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  closeButton_ = buttons->button(QDialogButtonBox::Close);
  closeButton_->setDefault(true);
  defaultButton_ = buttons->addButton(tr("Default"), QDialogButtonBox::ResetRole);
  // Enter in a slider must not reset every control.
  defaultButton_->setAutoDefault(false);
  defaultButton_->setEnabled(!rows_.empty());
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(defaultButton_, &QPushButton::clicked, this, [this] { restoreDefaults(); });

  // The dialog belongs to the owner's corner, frame included: move() on a window places its frame.
  if (owner != nullptr) move(owner->mapToGlobal(QPoint(0, 0)));
}

void FilterPropertiesDialog::addRow(QFormLayout* form, const ControlInfo& info) {
  const std::size_t row = rows_.size();
  Row r;
  r.info = info;
  if (info.type != ControlType::Button)
    r.shown = controls_.get(info.id).value_or(info.defaultValue);
  rows_.push_back(std::move(r));

  const QString name = QString::fromStdString(info.name);
  QWidget* field = nullptr;
  switch (info.type) {
    case ControlType::Integer:
      rows_[row].widget = makeSlider(row, field);
      break;
    case ControlType::Boolean:
      field = rows_[row].widget = makeCheckBox(row);
      break;
    case ControlType::Menu:
      field = rows_[row].widget = makeComboBox(row);
      break;
    case ControlType::Button:
      field = rows_[row].widget = makeButton(row);
      break;
  }
  rows_[row].widget->setAccessibleName(name);
  rows_[row].widget->setEnabled(usable(info));
  showValue(row);
  if (info.type == ControlType::Button) {
    form->addRow(QString(), field);
  } else {
    form->addRow(name, field);
  }
}

QWidget* FilterPropertiesDialog::makeSlider(std::size_t row, QWidget*& field) {
  const ControlInfo& info = rows_[row].info;
  const std::int64_t step = std::max<std::int64_t>(info.step, 1);
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setRange(toSliderInt(info.minimum), toSliderInt(info.maximum));
  slider->setSingleStep(toSliderInt(step));
  const std::int64_t steps = (info.maximum - info.minimum) / step;
  slider->setPageStep(toSliderInt(step * std::max<std::int64_t>(steps / 10, 1)));
  slider->setMinimumWidth(200);

  auto* value = new QLabel;
  value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const QFontMetrics metrics(value->font());
  value->setMinimumWidth(std::max(metrics.horizontalAdvance(QString::number(info.minimum)),
                                  metrics.horizontalAdvance(QString::number(info.maximum))));
  rows_[row].valueLabel = value;

  field = new QWidget;
  auto* box = new QHBoxLayout(field);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(slider, 1);
  box->addWidget(value);

  connect(slider, &QSlider::valueChanged, this,
          [this, row](int position) { sliderMoved(row, position); });
  return slider;
}

QWidget* FilterPropertiesDialog::makeCheckBox(std::size_t row) {
  auto* box = new QCheckBox;
  connect(box, &QCheckBox::toggled, this, [this, row](bool on) { apply(row, on ? 1 : 0); });
  return box;
}

QWidget* FilterPropertiesDialog::makeComboBox(std::size_t row) {
  auto* combo = new QComboBox;
  for (const ControlMenuItem& item : rows_[row].info.menu) {
    combo->addItem(QString::fromStdString(item.name), QVariant::fromValue<qlonglong>(item.index));
  }
  connect(combo, &QComboBox::currentIndexChanged, this, [this, row, combo](int index) {
    if (index >= 0) apply(row, combo->itemData(index).toLongLong());
  });
  return combo;
}

QWidget* FilterPropertiesDialog::makeButton(std::size_t row) {
  auto* button = new QPushButton(QString::fromStdString(rows_[row].info.name));
  button->setAutoDefault(false);
  // Drivers ignore the value written to a button control; writing it is the press.
  connect(button, &QPushButton::clicked, this, [this, row] { apply(row, 1); });
  return button;
}

QWidget* FilterPropertiesDialog::controlWidget(std::uint32_t id) const {
  const Row* r = findRow(id);
  return r ? r->widget : nullptr;
}

QLabel* FilterPropertiesDialog::valueLabel(std::uint32_t id) const {
  const Row* r = findRow(id);
  return r ? r->valueLabel : nullptr;
}

const FilterPropertiesDialog::Row* FilterPropertiesDialog::findRow(std::uint32_t id) const {
  for (const Row& r : rows_) {
    if (r.info.id == id) return &r;
  }
  return nullptr;
}

void FilterPropertiesDialog::sliderMoved(std::size_t row, int position) {
  const std::int64_t snapped = snapToStep(rows_[row].info, position);
  if (snapped != position) {
    const QSignalBlocker block(rows_[row].widget);
    static_cast<QSlider*>(rows_[row].widget)->setValue(toSliderInt(snapped));
  }
  apply(row, snapped);
}

void FilterPropertiesDialog::apply(std::size_t row, std::int64_t value) {
  if (rows_[row].info.type != ControlType::Button && value == rows_[row].shown) {
    showValue(row);
    return;
  }
  const int error = write(row, value);
  if (error != 0) {
    reportFailure(error);
    return;
  }
  message_->clear();
  message_->hide();
}

int FilterPropertiesDialog::write(std::size_t row, std::int64_t value) {
  const ControlInfo& info = rows_[row].info;
  const int error = controls_.set(info.id, value);
  if (error == 0) {
    rows_[row].shown = value;
  } else if (info.type != ControlType::Button) {
    // Show what the device holds now; when it cannot say, the value it held before.
    if (const auto now = controls_.get(info.id)) rows_[row].shown = *now;
  }
  showValue(row);
  if (error == 0 && (info.type == ControlType::Boolean || info.type == ControlType::Menu)) {
    refreshStates();
  }
  return error;
}

void FilterPropertiesDialog::restoreDefaults() {
  message_->clear();
  message_->hide();
  for (std::size_t row = 0; row < rows_.size() && !deviceGone_; ++row) {
    // Flags are current: restoring an automatic mode may just have made this one inactive.
    if (!editable(rows_[row].info)) continue;
    const int error = write(row, rows_[row].info.defaultValue);
    if (error != 0) reportFailure(error);
  }
}

void FilterPropertiesDialog::refreshStates() {
  const std::vector<ControlInfo> fresh = controls_.list();
  for (Row& r : rows_) {
    const auto it = std::find_if(fresh.begin(), fresh.end(),
                                 [&r](const ControlInfo& c) { return c.id == r.info.id; });
    if (it == fresh.end()) continue;
    r.info.disabled = it->disabled;
    r.info.inactive = it->inactive;
    r.info.readOnly = it->readOnly;
    r.widget->setEnabled(usable(r.info) && !deviceGone_);
  }
  // A driver may move dependent values too (an automatic mode switched off leaves its last value).
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].info.type == ControlType::Button) continue;
    if (const auto now = controls_.get(rows_[row].info.id)) {
      rows_[row].shown = *now;
      showValue(row);
    }
  }
}

void FilterPropertiesDialog::showValue(std::size_t row) {
  const Row& r = rows_[row];
  const QSignalBlocker block(r.widget);
  switch (r.info.type) {
    case ControlType::Integer:
      static_cast<QSlider*>(r.widget)->setValue(toSliderInt(r.shown));
      r.valueLabel->setText(QString::number(r.shown));
      break;
    case ControlType::Boolean:
      static_cast<QCheckBox*>(r.widget)->setChecked(r.shown != 0);
      break;
    case ControlType::Menu: {
      auto* combo = static_cast<QComboBox*>(r.widget);
      combo->setCurrentIndex(combo->findData(QVariant::fromValue<qlonglong>(r.shown)));
      break;
    }
    case ControlType::Button:
      break;
  }
}

void FilterPropertiesDialog::reportFailure(int error) {
  const int code = error < 0 ? -error : error;
  message_->setText(tr("The camera did not accept the change (%1)")
                        .arg(QString::fromLocal8Bit(std::strerror(code))));
  message_->show();
  if (code != ENODEV) return;
  // The camera is gone: every further change would fail the same way.
  deviceGone_ = true;
  for (Row& r : rows_) r.widget->setEnabled(false);
  defaultButton_->setEnabled(false);
}

}  // namespace kovracam
