#include "capture/linux/recording_branch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "capture/linux/avi_seal.h"
#include "capture/linux/frame_stats.h"

namespace kovracam {
namespace {

// Two seconds of frames at any rate: the file branch rides out a slow disk without holding back
// the preview.
constexpr guint64 kQueueTime = 2 * GST_SECOND;
// How long a live camera gets to pass the end of the stream on before the branch is ended
// directly.
constexpr std::chrono::milliseconds kSourceEndWait{1000};

constexpr const char* kBranchMark = "kovracam-recording-branch";

// The mark is set before the element streams and never changes, so any thread may read it.
GstElement* addElement(GstElement* pipeline, const char* factory, const char* name) {
  GstElement* element = gst_element_factory_make(factory, name);
  if (!element) return nullptr;
  g_object_set_data(G_OBJECT(element), kBranchMark, GINT_TO_POINTER(1));
  if (!gst_bin_add(GST_BIN(pipeline), element)) {
    gst_object_unref(gst_object_ref_sink(element));  // a branch is already there
    return nullptr;
  }
  return element;
}

}  // namespace

RecordingBranch::RecordingBranch(GstElement* pipeline, GstElement* tee, const std::string& path)
    : path_(path), tee_(GST_ELEMENT(gst_object_ref(tee))) {
  queue_ = addElement(pipeline, "queue", "file queue");
  mux_ = addElement(pipeline, "avimux", "AVI Mux");
  writer_ = addElement(pipeline, "filesink", "File Writer");
  if (!queue_ || !mux_ || !writer_) return;
  g_object_set(queue_, "max-size-time", kQueueTime, "max-size-buffers", 0u, "max-size-bytes", 0u,
               nullptr);
  g_object_set(writer_, "location", path.c_str(), "sync", FALSE, "async", FALSE, nullptr);
  // Video only: ask avimux for its video input by name, or linking may take an audio one.
  if (!gst_element_link_pads(queue_, "src", mux_, "video_%u") || !gst_element_link(mux_, writer_)) {
    return;
  }

  teePad_ = gst_element_request_pad_simple(tee_, "src_%u");
  GstPad* queueSink = gst_element_get_static_pad(queue_, "sink");
  const bool linked = teePad_ && gst_pad_link(teePad_, queueSink) == GST_PAD_LINK_OK;
  gst_object_unref(queueSink);
  if (!linked) return;

  GstPad* writerSink = gst_element_get_static_pad(writer_, "sink");
  gst_pad_add_probe(writerSink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, onWriterEvent, this, nullptr);
  gst_object_unref(writerSink);
  built_ = kOk;
  // Built before the camera streams into it (a previous graph has been stopped).
  frame_stats::producedAtRecordStart.store(frame_stats::produced.load());
}

RecordingBranch::~RecordingBranch() {
  // The pipeline owns the elements; the tee's request pad goes back to it.
  if (teePad_) {
    gst_element_release_request_pad(tee_, teePad_);
    gst_object_unref(teePad_);
  }
  gst_object_unref(tee_);
  // The writer has closed the file by now. One it could not complete (the medium refused more,
  // or the end did not arrive in time) lacks its counts: cut it to its whole frames and count.
  if (failed_ || (endSent_ && !completed_.waitFor(std::chrono::nanoseconds(0)))) {
    if (const auto frames = sealAviFile(path_)) {
      std::cerr << "kovracam: " << path_ << " kept with its " << *frames << " whole frames\n";
    }
  }
}

Status RecordingBranch::open(std::string* reason) {
  if (built_ != kOk) {
    if (reason) *reason = "the recording branch could not be built";
    return built_;
  }
  // A path the writer cannot create fails here, before the graph runs. A file made only for
  // this test goes again: one the writer truncates instead of creating costs a flush of all
  // its data when it is closed (ext4), which would hold up every stop.
  struct stat existing {};
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(path_.c_str());
    isNew_ = true;
    return kOk;
  }
  if (errno == EEXIST && ::stat(path_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
  } else if (errno == EEXIST && ::access(path_.c_str(), W_OK) == 0) {
    return kOk;
  }
  if (reason) *reason = std::strerror(errno);
  return kAccessDenied;
}

void RecordingBranch::discard() {
  if (isNew_) ::unlink(path_.c_str());
}

RecordingBranch::Finish RecordingBranch::finish(GstElement* source,
                                                std::chrono::nanoseconds bound) {
  if (built_ != kOk || failed_) return Finish::NotStreaming;
  if (endSent_)
    return completed_.waitFor(std::chrono::nanoseconds(0)) ? Finish::Completed
           : endAccepted_                                  ? Finish::TimedOut
                                                           : Finish::NotStreaming;
  endSent_ = true;
  const auto deadline = std::chrono::steady_clock::now() + bound;
  // From the camera's side the end follows every frame already on its way to the tee.
  if (source && gst_element_send_event(source, gst_event_new_eos())) {
    endAccepted_ = true;
    if (completed_.waitFor(std::min<std::chrono::nanoseconds>(bound, kSourceEndWait))) {
      return Finish::Completed;
    }
  }
  // A camera that no longer streams passes nothing on: end the branch itself. Serialised after
  // the frame being pushed, if any; refused when the branch does not stream.
  GstPad* queueSink = gst_element_get_static_pad(queue_, "sink");
  endAccepted_ = gst_pad_send_event(queueSink, gst_event_new_eos()) || endAccepted_;
  gst_object_unref(queueSink);
  if (!endAccepted_) return Finish::NotStreaming;
  const auto left = std::max<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now(),
                                                       std::chrono::nanoseconds(0));
  return completed_.waitFor(left) ? Finish::Completed : Finish::TimedOut;
}

bool RecordingBranch::isBranchElement(GstObject* element) {
  return element && G_IS_OBJECT(element) && g_object_get_data(G_OBJECT(element), kBranchMark);
}

GstPadProbeReturn RecordingBranch::onWriterEvent(GstPad*, GstPadProbeInfo* info, gpointer self) {
  // Everything avimux wrote (the index and the rewritten headers) precedes its end-of-stream.
  if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
    frame_stats::producedAtRecordEnd.store(frame_stats::produced.load());
    frame_stats::fileDoneNs.store(frame_stats::nowNs(), std::memory_order_relaxed);
    static_cast<RecordingBranch*>(self)->completed_.set();
  }
  return GST_PAD_PROBE_OK;
}

}  // namespace kovracam
