#include "app/win/process_stats.h"

#include <psapi.h>

#include <cstdio>

#include "base/win/handle_count.h"

namespace kovracam {
namespace {

constexpr DWORD kPeriodMs = 60'000;

std::wstring statsTarget() {
  wchar_t value[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"KOVRACAM_STATS", value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// Committed private memory, summed over the address space: the figure GetProcessMemoryInfo
// gives as PrivateUsage, where that is answered (Wine 8 leaves it 0).
unsigned long committedPrivateKib() {
  unsigned long long bytes = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
    if (region.RegionSize == 0) break;
  }
  return static_cast<unsigned long>(bytes / 1024);
}

}  // namespace

ProcessStatsReporter::ProcessStatsReporter() : m_target(statsTarget()) {}

ProcessStatsReporter::~ProcessStatsReporter() {
  // INVALID_HANDLE_VALUE: returns once a line being written has been written.
  if (m_timer) DeleteTimerQueueTimer(nullptr, m_timer, INVALID_HANDLE_VALUE);
}

void ProcessStatsReporter::startPeriodic() {
  if (m_target.empty()) return;
  if (!CreateTimerQueueTimer(&m_timer, nullptr, onTimer, this, kPeriodMs, kPeriodMs,
                             WT_EXECUTEDEFAULT)) {
    m_timer = nullptr;
  }
}

void CALLBACK ProcessStatsReporter::onTimer(void* self, BOOLEAN) {
  static_cast<ProcessStatsReporter*>(self)->report("minute");
}

void ProcessStatsReporter::report(const char* moment) {
  if (m_target.empty()) return;
  const HANDLE process = GetCurrentProcess();
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  const unsigned long handles = processHandleCount();
  const unsigned long privateKib = memory.PrivateUsage != 0
                                       ? static_cast<unsigned long>(memory.PrivateUsage / 1024)
                                       : committedPrivateKib();
  char line[256];
  const int length = std::snprintf(
      line, sizeof line,
      "kovracam-stats %s seconds=%llu working_set_kib=%lu private_kib=%lu handles=%lu gdi=%lu "
      "user=%lu\n",
      moment, (GetTickCount64() - m_started) / 1000,
      static_cast<unsigned long>(memory.WorkingSetSize / 1024), privateKib, handles,
      GetGuiResources(process, GR_GDIOBJECTS), GetGuiResources(process, GR_USEROBJECTS));
  if (length > 0) write(std::string(line, static_cast<std::size_t>(length)));
}

void ProcessStatsReporter::write(const std::string& line) {
  std::lock_guard lock(m_lock);
  if (m_target == L"stderr") {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return;
  }
  const HANDLE file = CreateFileW(m_target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace kovracam
