#pragma once
// The camera's own controls (brightness, power-line frequency...) as a modal dialog. Every change
// goes to the device at once; there is nothing to apply or cancel when the dialog closes.

#include <QDialog>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/linux/device/device_controls.h"

class QLabel;
class QPushButton;
class QFormLayout;

namespace kovracam {

class FilterPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  // `controls` must outlive the dialog. The dialog opens at the owner's top-left corner.
  FilterPropertiesDialog(DeviceControls& controls, QWidget* owner);

  // The editing widget of a listed control (QSlider, QCheckBox, QComboBox or QPushButton), or
  // nullptr when the device did not list `id`.
  QWidget* controlWidget(std::uint32_t id) const;
  // The label beside an Integer control's slider that shows its value; nullptr for other kinds.
  QLabel* valueLabel(std::uint32_t id) const;
  // Where a refused change is reported; empty while every change has been accepted.
  QLabel* messageLabel() const { return message_; }
  QPushButton* defaultButton() const { return defaultButton_; }
  QPushButton* closeButton() const { return closeButton_; }

 private:
  struct Row {
    ControlInfo info;
    QWidget* widget = nullptr;
    QLabel* valueLabel = nullptr;  // Integer controls only
    std::int64_t shown = 0;        // what the widget shows, and the device last reported
  };

  void addRow(QFormLayout* form, const ControlInfo& info);
  QWidget* makeSlider(std::size_t row, QWidget*& field);
  QWidget* makeCheckBox(std::size_t row);
  QWidget* makeComboBox(std::size_t row);
  QWidget* makeButton(std::size_t row);

  void sliderMoved(std::size_t row, int position);
  // A change the user made: written unless the widget already shows it, failures reported.
  void apply(std::size_t row, std::int64_t value);
  // Writes the value and leaves the widget showing what the device holds; 0 or the errno.
  int write(std::size_t row, std::int64_t value);
  void restoreDefaults();
  // Re-reads the flags, since switching an automatic mode makes its manual controls inactive.
  void refreshStates();
  void showValue(std::size_t row);
  void reportFailure(int error);
  const Row* findRow(std::uint32_t id) const;

  DeviceControls& controls_;
  std::vector<Row> rows_;
  QLabel* message_ = nullptr;
  QPushButton* defaultButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  bool deviceGone_ = false;
};

}  // namespace kovracam
