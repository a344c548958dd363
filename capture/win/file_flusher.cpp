#include "capture/win/file_flusher.h"

#include <new>
#include <utility>

namespace kovracam {
namespace {

constexpr DWORD kFlushIntervalMs = 1000;

// What the thread owns and closes when it ends, whenever that is.
struct FlushJob {
  WinHandle file;
  WinHandle stop;
};

DWORD WINAPI flushLoop(void* parameter) {
  auto* job = static_cast<FlushJob*>(parameter);
  for (;;) {
    const DWORD woken = WaitForSingleObject(job->stop.get(), kFlushIntervalMs);
    FlushFileBuffers(job->file.get());  // a failure loses nothing the writes did not report
    if (woken != WAIT_TIMEOUT) break;
  }
  delete job;
  return 0;
}

}  // namespace

bool FileFlusher::start(const std::wstring& path) {
  stop();
  auto* job = new (std::nothrow) FlushJob;
  if (!job) return false;
  job->file = WinHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  job->stop = WinHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE ours = nullptr;
  if (!job->file || !job->stop ||
      !DuplicateHandle(GetCurrentProcess(), job->stop.get(), GetCurrentProcess(), &ours, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    delete job;
    return false;
  }
  m_stop = WinHandle(ours);
  const WinHandle thread(CreateThread(nullptr, 0, flushLoop, job, 0, nullptr));
  if (!thread) {
    delete job;
    m_stop.reset();
    return false;
  }
  return true;
}

void FileFlusher::stop() {
  if (m_stop) SetEvent(m_stop.get());
  m_stop.reset();
}

}  // namespace kovracam
