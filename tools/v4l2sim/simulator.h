#pragma once
// The simulated nodes and the descriptors open on them. Each open file stands on an eventfd of
// its own, so that poll, select, epoll, dup and close work on it natively: the eventfd is
// readable whenever the file has something to report (a done buffer, an event, an error).
// Every method answers only for what is ours: nullopt means "pass the call on".

#include <sys/stat.h>
#include <sys/types.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/v4l2sim/sim_node.h"

namespace kovracam::v4l2sim {

struct DirEntry {
  std::string name;
  unsigned char type;  // DT_CHR, DT_LNK, DT_DIR
};

class Simulator {
 public:
  // nullptr when KOVRACAM_V4L2SIM names no usable file: everything passes through then.
  static Simulator* instance();

  std::optional<int> open(const char* path, int flags);
  std::optional<int> openAt(int dirFd, const char* path, int flags);
  bool owns(int fd);
  // Before the descriptor is closed, or replaced by dup2/dup3.
  void forget(int fd);
  void duplicated(int from, int to);
  std::optional<int> ioctl(int fd, unsigned long request, void* arg);
  // read() as drivers with V4L2_CAP_READWRITE serve it: the first read (or a poll for input)
  // starts streaming into buffers of the simulator's own; each read then takes a frame, waiting
  // for it unless the descriptor is non-blocking.
  std::optional<ssize_t> read(int fd, void* buffer, std::size_t size);
  std::optional<void*> mmap(void* address, std::size_t length, int prot, int flags, int fd,
                            off_t offset);
  void unmapped(void* address);
  // The poll bits a descriptor of ours reports for `events`; nullopt for any other descriptor.
  std::optional<short> pollEvents(int fd, short events);
  std::optional<int> stat(const char* path, bool followLinks, struct stat* out);
  std::optional<int> fstat(int fd, struct stat* out);
  std::optional<int> access(const char* path, int mode);
  std::optional<std::string> readlink(const char* path);
  std::optional<std::string> realpath(const char* path);
  // Entries of ours in a directory (a stand-in descriptor's, or a path's); nullopt when the
  // directory holds none of ours. `standIn` says the directory exists only here.
  std::optional<std::vector<DirEntry>> listing(const char* dir, bool& standIn);
  std::optional<std::string> standInDirectory(int fd);
  // The text of a sysfs file of ours (the uevent by which tools tell a video node).
  std::optional<std::string> sysfsText(const char* path);

 private:
  explicit Simulator(std::vector<NodeConfig> configs);
  std::shared_ptr<OpenFile> fileOf(int fd);
  SimNode* nodeAt(const std::string& path);
  void checkUnplugs();
  void unplug(SimNode& node);
  void fillNodeStat(const SimNode& node, struct stat& out) const;
  int dispatch(OpenFile& file, unsigned long request, void* arg,
               std::unique_lock<std::mutex>& lock);
  int controlIoctl(OpenFile& file, unsigned long request, void* arg);
  int streamingIoctl(OpenFile& file, unsigned long request, void* arg,
                     std::unique_lock<std::mutex>& lock);
  void startFrames(SimNode& node);
  int startReading(OpenFile& file);
  int readFrame(OpenFile& file, std::uint8_t* out, std::size_t size, bool nonBlocking,
                std::unique_lock<std::mutex>& lock, ssize_t& got);
  void produceFrames(SimNode* node, unsigned generation);
  void refresh(OpenFile& file);
  void refreshAll(SimNode& node);

  std::mutex mutex_;
  std::condition_variable changed_;
  DeviceTree tree_;
  std::vector<std::unique_ptr<SimNode>> nodes_;
  std::map<int, std::shared_ptr<OpenFile>> files_;
  std::map<int, std::string> standInDirs_;  // descriptor -> directory that exists only here
  struct Mapping {
    SimNode* node;
    int index;
    unsigned generation;
  };
  std::map<void*, Mapping> mappings_;
};

}  // namespace kovracam::v4l2sim
