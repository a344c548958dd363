#include <gst/gst.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "app/linux/kovracam_app.h"
#include "capture/linux/frame_stats.h"

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

constexpr const char* kHelp =
    "Usage: kovracam [--help | --version]\n"
    "\n"
    "A camera app: a live preview of a camera, recordings to AVI, snapshots to JPEG or BMP.\n"
    "It keeps HardWare.KRV (the camera chosen last) and reads language modules from the\n"
    "folder Language, both in the current directory. kovracam-launch starts it in\n"
    "$XDG_STATE_HOME/kovracam (~/.local/state/kovracam) with the installed modules.\n"
    "\n"
    "Environment:\n"
    "  KOVRACAM_VIRTUAL_CAMERAS=FILE  also list the virtual cameras that FILE describes\n";

// The exit status when the command line asks for something other than the window. Answered
// before GStreamer and Qt start, so that no window opens and no camera is touched.
std::optional<int> answerCommandLine(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string_view first = argv[1];
  const bool known = first == "--help" || first == "--version";
  if (known && argc == 2) {
    if (first == "--help")
      std::fputs(kHelp, stdout);
    else
      std::printf("kovracam %s\n", KOVRACAM_VERSION);
    return 0;
  }
  std::fprintf(stderr, "kovracam: unexpected argument '%s' (see kovracam --help)\n",
               known ? argv[2] : argv[1]);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto status = answerCommandLine(argc, argv)) return *status;
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
