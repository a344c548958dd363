#pragma once
// Hands the newest preview frame from a streaming thread to the user-interface thread. There is
// one slot: a frame that arrives before the previous one was taken replaces it, so frames never
// queue up behind a busy window. At most one wake-up event is in flight at a time.

#include <gst/gst.h>

#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>

namespace kovracam {

class FrameMailbox : public QObject {
  Q_OBJECT

 public:
  FrameMailbox();
  ~FrameMailbox() override;

  // Streaming thread. Takes ownership of `sample`.
  void post(GstSample* sample);
  // Any thread: the stream failed (camera gone, negotiation refused).
  void postError(const QString& message);
  // Any thread: the first failure's message; empty while the stream has not failed.
  QString streamError();
  // Any thread: writing the recording failed (disk full, file too large, medium gone).
  void postRecordingError(const QString& reason);

  // User-interface thread: the newest frame (caller owns it), or nullptr.
  GstSample* take();

 signals:
  void frameReady();
  void streamFailed(const QString& message);
  void recordingFailed(const QString& reason);

 protected:
  bool event(QEvent* e) override;

 private:
  std::mutex mutex_;
  GstSample* newest_ = nullptr;  // guarded by mutex_
  QString error_;                // guarded by mutex_
  QString recordingError_;       // guarded by mutex_
  std::atomic<bool> wakePending_{false};
};

}  // namespace kovracam
