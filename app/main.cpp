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
  std::fprintf(stderr, "kovracam-stats produced=%llu painted=%llu first_paint_ns=%lld\n",
               static_cast<unsigned long long>(closed ? producedAtClose.load() : produced.load()),
               static_cast<unsigned long long>(closed ? paintedAtClose.load() : painted.load()),
               static_cast<long long>(firstPaintNs.load()));
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
