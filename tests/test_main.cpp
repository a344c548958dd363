#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <cstdlib>

namespace {

// A modal window no test closes would hold the test until the runner's time-out: one left open
// for five seconds fails the running test and is closed.
void watchForForgottenModals(QTimer& timer) {
  static QPointer<QWidget> watched;
  static QElapsedTimer since;
  QObject::connect(&timer, &QTimer::timeout, [] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != watched) {
      watched = modal;
      since.start();
    } else if (modal && since.hasExpired(5000)) {
      ADD_FAILURE() << "a modal window was left open: " << modal->windowTitle().toStdString()
                    << " (" << modal->metaObject()->className() << ")";
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      modal->close();
    }
  });
  timer.start(200);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Widgets are built and painted off screen; the real window is tested under Xvfb.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gst_init(&argc, &argv);
  QApplication app(argc, argv);
  QTimer watchdog;
  watchForForgottenModals(watchdog);
  return RUN_ALL_TESTS();
}
