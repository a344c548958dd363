#pragma once
// The program's own resource figures, for long runs that look for leaks. With KOVRACAM_STATS
// set, one line when the window is up, one a minute, and one when the message loop has ended:
// memory (working set, private bytes), kernel handles, GDI and USER objects, as the process
// reads them itself (where the system leaves private bytes or the handle count unanswered, as
// Wine does, the committed private pages and this process's entries of the system handle table).
// "stderr" names standard error; any other value a file the lines are added to.

#include <windows.h>

#include <mutex>
#include <string>

namespace kovracam {

class ProcessStatsReporter {
 public:
  ProcessStatsReporter();
  ~ProcessStatsReporter();
  ProcessStatsReporter(const ProcessStatsReporter&) = delete;
  ProcessStatsReporter& operator=(const ProcessStatsReporter&) = delete;

  // One line labelled `moment`; nothing when KOVRACAM_STATS is not set.
  void report(const char* moment);
  // The minute lines, from a thread of the system's timer queue. Called once.
  void startPeriodic();

 private:
  static void CALLBACK onTimer(void* self, BOOLEAN);
  void write(const std::string& line);

  std::wstring m_target;  // empty: no figures wanted
  ULONGLONG m_started = GetTickCount64();
  HANDLE m_timer = nullptr;
  std::mutex m_lock;  // the timer's thread and the main thread both write
};

}  // namespace kovracam
