// The program's entry point: the application starts, runs its message loop and ends.

#include <windows.h>

#include "app/win/kovracam_app.h"
#include "app/win/process_stats.h"

namespace {

kovracam::CKOVRACAMApp theApp;  // the one application object

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  kovracam::ProcessStatsReporter stats;
  if (!theApp.InitInstance()) return theApp.ExitInstance(1);
  stats.report("start");
  stats.startPeriodic();
  const int result = theApp.Run();
  stats.report("exit");
  return theApp.ExitInstance(result);
}
