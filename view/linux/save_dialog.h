#pragma once
// The save dialog of the Capture commands: "Save As", no initial name, started in the current
// directory, no question when the file exists. A new name is accepted; its folder must exist.
// Started by kovracam-launch (KOVRACAM_LAUNCHER set), the program runs in its state directory,
// where nobody looks for pictures: the dialog starts in the user's folder for the kind of file.

#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace kovracam {

struct SaveDialogSpec {
  QString defaultSuffix;  // appended to a name typed without an extension
  // Each entry: the filter's text as shown, and the pattern it stands for.
  QList<std::pair<QString, QString>> filters;
  QStandardPaths::StandardLocation userFolder;  // where it starts when the launcher ran us
};

// The chosen full path; nullopt when the user cancelled.
std::optional<QString> askSavePath(QWidget* parent, const SaveDialogSpec& spec);

// The Start Capture and Snapshot dialogs.
SaveDialogSpec recordingSaveDialog();
SaveDialogSpec snapshotSaveDialog();

}  // namespace kovracam
