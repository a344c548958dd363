#pragma once
// A process-local manual-reset event: once set it stays set until reset. Private to this
// process, so no other running program can wake a waiter.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kovracam {

class ManualResetEvent {
 public:
  void set() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_all();
  }
  void reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }
  // true when the event was (or became) set within `timeout`.
  bool waitFor(std::chrono::nanoseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return signalled_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

}  // namespace kovracam
