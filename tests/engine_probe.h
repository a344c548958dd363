#pragma once
// What a test needs to watch the engine from outside: the pipeline it built (found through a
// GStreamer tracer hook, so the engine keeps no test-only accessor), and the modal boxes it
// shows (closed at once, their texts kept).

#include <gst/gst.h>

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <mutex>

namespace kovracam::testing {

// The newest pipeline named "capture graph" still alive, with a reference the caller drops;
// nullptr when there is none.
GstElement* capturePipeline();

// The element named `name` in the newest capture graph, with a reference the caller drops.
GstElement* graphElement(const char* name);

// Posts an error from the graph's element `name`, as a camera pulled out or a full disk looks to
// the pipeline.
void postGraphError(const char* name, int code, const char* debug);

// Closes every modal message box as soon as it shows and keeps "caption: text" of each.
class ModalBoxCloser : public QObject {
 public:
  ModalBoxCloser() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen << box->windowTitle() + ": " + box->text();
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start(5);
  }
  QStringList seen;

 private:
  QTimer timer_;
};

}  // namespace kovracam::testing
