#include <gst/gst.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/kovracam_app.h"
#include "capture/frame_stats.h"

namespace {

// With KOVRACAM_STATS set, the preview's figures go to stderr at exit, for the benchmarks.
void reportStats() {
  if (!std::getenv("KOVRACAM_STATS")) return;
  using namespace kovracam::frame_stats;
  const bool closed = producedAtClose.load() > 0;
  const auto ns = [](const std::atomic<std::int64_t>& v) {
    return static_cast<long long>(v.load());
  };
  const std::uint64_t recStart = producedAtRecordStart.load();
  const std::uint64_t recEnd = producedAtRecordEnd.load();
  std::fprintf(
      stderr,
      "kovracam-stats produced=%llu painted=%llu first_paint_ns=%lld rec_produced=%llu "
      "rec_max_gap_ns=%lld rec_max_gap_end_ns=%lld stop_ns=%lld file_done_ns=%lld "
      "rec_closed_ns=%lld "
      "preview_run_ns=%lld preview_paint_ns=%lld save_accepted_ns=%lld "
      "snapshot_asked_ns=%lld snapshot_frame_ns=%lld snapshot_encoded_ns=%lld "
      "snapshot_saved_ns=%lld\n",
      static_cast<unsigned long long>(closed ? producedAtClose.load() : produced.load()),
      static_cast<unsigned long long>(closed ? paintedAtClose.load() : painted.load()),
      ns(firstPaintNs), static_cast<unsigned long long>(recEnd >= recStart ? recEnd - recStart : 0),
      ns(recordingMaxGapNs), ns(recordingMaxGapEndNs), ns(stopNs), ns(fileDoneNs),
      ns(recordingClosedNs), ns(previewRunNs), ns(previewPaintNs), ns(saveAcceptedNs),
      ns(snapshotAskedNs), ns(snapshotFrameNs), ns(snapshotEncodedNs), ns(snapshotSavedNs));
}

}  // namespace

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  QApplication qt(argc, argv);
  QApplication::setQuitOnLastWindowClosed(true);
  int result = 1;
  {
    kovracam::CKOVRACAMApp app;
    if (app.InitInstance()) result = QApplication::exec();
  }
  reportStats();
  gst_deinit();
  return result;
}
