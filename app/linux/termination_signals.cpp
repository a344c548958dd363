#include "app/linux/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cerrno>

namespace kovracam {
namespace {

int signalPipe[2] = {-1, -1};

// A signal handler may only do async-signal-safe things: it wakes the event loop through a pipe.
void onSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

// Dialogs first: each must return from its own event loop before the window goes, so that the
// command that opened it finishes against a live graph.
// A dialog that will not close holds the window for at most a second.
void closeAfterDialogs(const QPointer<QWidget>& window, int attemptsLeft = 50) {
  if (!window) return;
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && attemptsLeft > 0) {
    modal->close();
    QTimer::singleShot(20, window,
                       [window, attemptsLeft] { closeAfterDialogs(window, attemptsLeft - 1); });
    return;
  }
  window->close();
}

}  // namespace

void closeOnTerminationSignals(QWidget* window) {
  ::signal(SIGXFSZ, SIG_IGN);
  if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window,
                   [target = QPointer<QWidget>(window)] {
                     char bytes[16];
                     while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
                     }
                     closeAfterDialogs(target);
                   });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(number, &action, nullptr);
}

}  // namespace kovracam
