#pragma once
// What the Windows capture tests share: failure counting, COM on the test thread, bounded
// message pumping and a scratch virtual camera list.

#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kovracam::test {

inline int g_failures = 0;

#define CHECK(condition)                                                           \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++::kovracam::test::g_failures;                                              \
    }                                                                              \
  } while (0)

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() { CoUninitialize(); }
};

// Runs this thread's messages until `done` holds or `milliseconds` have passed.
inline bool pumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

// Writes `lines` to a file in the temporary folder and names it in KOVRACAM_VIRTUAL_CAMERAS.
inline void useVirtualCameras(const std::vector<std::string>& lines) {
  const std::string path = std::filesystem::temp_directory_path().string() + "kovracam-cameras-" +
                           std::to_string(GetCurrentProcessId()) + ".txt";
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) file << line << "\n";
  file.close();  // complete before anyone reads it
  SetEnvironmentVariableA("KOVRACAM_VIRTUAL_CAMERAS", path.c_str());
}

inline int report(const char* name) {
  std::fprintf(stderr, "%s: %s\n", name, g_failures == 0 ? "passed" : "FAILED");
  return g_failures == 0 ? 0 : 1;
}

}  // namespace kovracam::test
