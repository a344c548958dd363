// The program's entry point: the application starts, runs its message loop and ends.

#include <windows.h>

#include "app/win/kovracam_app.h"

namespace {

kovracam::CKOVRACAMApp theApp;  // the one application object

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (!theApp.InitInstance()) return theApp.ExitInstance(1);
  return theApp.ExitInstance(theApp.Run());
}
