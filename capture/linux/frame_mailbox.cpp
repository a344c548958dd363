#include "capture/linux/frame_mailbox.h"

#include <QCoreApplication>
#include <QEvent>

namespace kovracam {
namespace {

const QEvent::Type kFrameEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kErrorEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kRecordingErrorEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Keeps the first message in `slot`; true when this one was the first.
bool keepFirst(std::mutex& mutex, QString& slot, const QString& message) {
  std::lock_guard lock(mutex);
  if (!slot.isEmpty()) return false;  // the first failure is the one worth reporting
  slot = message;
  return true;
}

QString read(std::mutex& mutex, const QString& slot) {
  std::lock_guard lock(mutex);
  return slot;
}

}  // namespace

FrameMailbox::FrameMailbox() = default;

FrameMailbox::~FrameMailbox() {
  if (newest_) gst_sample_unref(newest_);
}

void FrameMailbox::post(GstSample* sample) {
  GstSample* replaced = nullptr;
  {
    std::lock_guard lock(mutex_);
    replaced = newest_;
    newest_ = sample;
  }
  if (replaced) gst_sample_unref(replaced);
  // postEvent is thread-safe; the mailbox outlives every streaming thread (the pipeline is
  // stopped before the mailbox goes).
  if (!wakePending_.exchange(true, std::memory_order_acq_rel)) {
    QCoreApplication::postEvent(this, new QEvent(kFrameEvent));
  }
}

void FrameMailbox::postError(const QString& message) {
  if (keepFirst(mutex_, error_, message)) {
    QCoreApplication::postEvent(this, new QEvent(kErrorEvent));
  }
}

QString FrameMailbox::streamError() { return read(mutex_, error_); }

void FrameMailbox::postRecordingError(const QString& reason) {
  if (keepFirst(mutex_, recordingError_, reason)) {
    QCoreApplication::postEvent(this, new QEvent(kRecordingErrorEvent));
  }
}

GstSample* FrameMailbox::take() {
  std::lock_guard lock(mutex_);
  GstSample* sample = newest_;
  newest_ = nullptr;
  return sample;
}

bool FrameMailbox::event(QEvent* e) {
  if (e->type() == kFrameEvent) {
    wakePending_.store(false, std::memory_order_release);
    emit frameReady();
    return true;
  }
  if (e->type() == kErrorEvent) {
    emit streamFailed(read(mutex_, error_));
    return true;
  }
  if (e->type() == kRecordingErrorEvent) {
    emit recordingFailed(read(mutex_, recordingError_));
    return true;
  }
  return QObject::event(e);
}

}  // namespace kovracam
