#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

namespace {

// A modal window no test closes would hold the test until the runner's time-out: one left open
// for five seconds fails the running test and is closed (a dialog's close is its reject).
void watchForForgottenModals(QTimer& timer) {
  QObject::connect(
      &timer, &QTimer::timeout, [watched = QPointer<QWidget>(), since = QElapsedTimer()]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != watched) {
          watched = modal;
          since.start();
        } else if (modal && since.hasExpired(5000)) {
          ADD_FAILURE() << "a modal window was left open: " << modal->windowTitle().toStdString()
                        << " (" << modal->metaObject()->className() << ")";
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
