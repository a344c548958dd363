#pragma once
// The formats the camera offers, as a modal list to pick the capture format from. The dialog only
// chooses; the caller applies the chosen format.

#include <QDialog>
#include <optional>
#include <vector>

#include "capture/device/capture_format.h"

class QDialogButtonBox;
class QListWidget;
class QPushButton;

namespace kovracam {

// "YUY2  640 x 480  30 fps", the rate with at most two decimals ("7.5 fps").
QString formatListText(const CaptureFormat& format);

class PinPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens 30 pixels right of and below the owner's top-left corner, `current` selected when it is
  // among `offered`.
  PinPropertiesDialog(std::vector<CaptureFormat> offered, const CaptureFormat& current,
                      QWidget* owner);

  // The format chosen when the dialog was accepted with a row selected; nullopt otherwise.
  std::optional<CaptureFormat> selectedFormat() const { return chosen_; }

  QListWidget* formatList() const { return list_; }
  QPushButton* okButton() const;
  QPushButton* cancelButton() const;

 public slots:
  void accept() override;
  void reject() override;

 private:
  std::vector<CaptureFormat> offered_;
  std::optional<CaptureFormat> chosen_;
  QListWidget* list_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace kovracam
