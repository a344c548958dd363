#pragma once
// SIGTERM, SIGINT and SIGHUP close the main window as its close box would, so that a recording
// in progress is completed before the process ends.

class QWidget;

namespace kovracam {

// Call once, on the user-interface thread, when `window` exists. Also makes an over-long file
// write fail with an error (EFBIG) instead of ending the process.
void closeOnTerminationSignals(QWidget* window);

}  // namespace kovracam
