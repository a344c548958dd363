#pragma once
// The file-writing branch of a recording pipeline: tee → queue → avimux → filesink.
//
// avimux writes its index and the frame counts of its headers only when end-of-stream reaches
// it, so a recording is finished by pushing end-of-stream into the branch and waiting (with a
// bound) for it to arrive at the file writer; only then may the pipeline be torn down.
//
// Threads: built, opened and finished on the user-interface thread; the end-of-stream watch
// runs on the branch's streaming thread and only sets an event.

#include <gst/gst.h>

#include <chrono>
#include <string>

#include "capture/manual_reset_event.h"
#include "capture/status.h"

namespace kovracam {

// How long finishing a recording may wait for its file to be completed.
inline constexpr std::chrono::seconds kRecordingFinishBound{5};

class RecordingBranch {
 public:
  // Adds the branch to `pipeline` and links it to a new request pad of `tee`.
  RecordingBranch(GstElement* pipeline, GstElement* tee, const std::string& path);
  ~RecordingBranch();
  RecordingBranch(const RecordingBranch&) = delete;
  RecordingBranch& operator=(const RecordingBranch&) = delete;

  // kOk when every element was made and linked.
  Status built() const { return built_; }
  // Creates the file now, so that a path the writer cannot create fails before anything runs.
  // On failure `reason` holds the system's reason.
  Status open(std::string* reason);
  // Removes the file after a start that failed, unless it was there before.
  void discard();
  enum class Finish { Completed, NotStreaming, TimedOut };
  // Ends the stream and waits up to `bound` for the end to reach the file writer. The end goes
  // in at `source` when it is given, so that every frame the camera delivered before it is
  // written; when the source does not pass it on soon, it goes straight into the branch.
  // NotStreaming: the branch never ran or its writer failed, so nothing can arrive.
  // Only the first call waits; later ones report what became of it.
  Finish finish(GstElement* source, std::chrono::nanoseconds bound = kRecordingFinishBound);
  // The writer failed: nothing more can reach the file.
  void markFailed() { failed_ = true; }
  bool failed() const { return failed_; }
  // true when `element` belongs to a recording branch: an error it posts is a write failure.
  // Safe on any thread.
  static bool isBranchElement(GstObject* element);
  const std::string& path() const { return path_; }

 private:
  static GstPadProbeReturn onWriterEvent(GstPad*, GstPadProbeInfo* info, gpointer self);

  std::string path_;
  GstElement* tee_ = nullptr;
  GstPad* teePad_ = nullptr;
  GstElement* queue_ = nullptr;
  GstElement* mux_ = nullptr;
  GstElement* writer_ = nullptr;
  Status built_ = kFail;
  bool endSent_ = false;
  bool endAccepted_ = false;
  bool failed_ = false;
  bool isNew_ = false;  // the path named no file before open()
  ManualResetEvent completed_;
};

}  // namespace kovracam
