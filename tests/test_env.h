#pragma once
// Scratch surroundings for one test: a virtual camera list, a current directory, a bounded wait.

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "capture/virtual/virtual_camera_config.h"

namespace kovracam::testing {

// Points KOVRACAM_VIRTUAL_CAMERAS at a scratch file for one test, and puts it back afterwards.
class VirtualCameraEnv {
 public:
  explicit VirtualCameraEnv(const std::string& lines) {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("kovracam-cameras-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    if (const char* old = std::getenv(kVirtualCamerasEnv)) previous_ = old;
    write(lines);
    ::setenv(kVirtualCamerasEnv, path_.c_str(), 1);
  }
  ~VirtualCameraEnv() {
    previous_ ? ::setenv(kVirtualCamerasEnv, previous_->c_str(), 1)
              : ::unsetenv(kVirtualCamerasEnv);
    std::filesystem::remove(path_);
  }
  void write(const std::string& lines) { std::ofstream(path_) << lines; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::optional<std::string> previous_;
};

// Makes a fresh empty directory the current one for one test (the app reads and writes its
// device-choice file there), and goes back afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/kovracam-cwd-XXXXXX";
    path_ = ::mkdtemp(pattern);
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(path_);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_, previous_ = std::filesystem::current_path();
};

// Runs the event loop until `done` holds or `timeout` passes; returns done().
inline bool processEventsUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

}  // namespace kovracam::testing
