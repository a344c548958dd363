#pragma once
// Sends a file's written data to the disk once a second while it is being written, so that a
// power cut loses about the last second of a recording rather than all the system still holds
// in memory (tens of seconds of it). The flushes run on a thread of their own, through a handle
// of their own: a flush on the writing handle would hold up the writes, which the system
// serialises on one synchronous handle, and with them the stream.

#include <string>

#include "base/win/win_handle.h"

namespace kovracam {

class FileFlusher {
 public:
  FileFlusher() = default;
  FileFlusher(const FileFlusher&) = delete;
  FileFlusher& operator=(const FileFlusher&) = delete;
  ~FileFlusher() { stop(); }

  // Flushes the file at `path`, which the caller has open for writing (sharing writes), every
  // second until stop(); false when the file cannot be opened again or no thread starts.
  bool start(const std::wstring& path);
  // Ends the flushing after one last flush, without waiting for it: a file closed after its
  // last write is then on the disk soon after, and closing it takes no longer than before.
  void stop();

 private:
  WinHandle m_stop;  // an event; the thread holds its own handle to it
};

}  // namespace kovracam
