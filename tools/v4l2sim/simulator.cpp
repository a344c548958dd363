#include "tools/v4l2sim/simulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <thread>

#include "base/linux/regular_file.h"
#include "tools/v4l2sim/frame_painter.h"
#include "tools/v4l2sim/real_libc.h"

namespace kovracam::v4l2sim {
namespace {

constexpr unsigned kVideoMajor = 81;
constexpr gid_t kVideoGroup = 44;
constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Read with the C library's own calls: the simulator is not running yet. Anything but a
// regular file (a pipe nobody writes, a device) is no configuration, with one line on stderr.
std::string readConfig(const char* path) {
  static const FileCalls calls{real::open(), real::fstat(), real::stat(), real::read(),
                               real::close()};
  FileRead file = readRegularFile(path, kMaxConfigBytes, calls);
  if (file.outcome == FileRead::Outcome::NotRegular || file.outcome == FileRead::Outcome::Failed) {
    const std::string line = std::string("v4l2sim: ") + path + " ignored: " + file.what + "\n";
    if (real::write()(STDERR_FILENO, line.data(), line.size()) < 0) return {};
  }
  return std::move(file.bytes);
}

bool existsReally(const std::string& path) {
  struct stat st {};
  return real::lstat()(path.c_str(), &st) == 0;
}

std::optional<std::string> devPath(const char* path) {
  if (!path || path[0] != '/') return std::nullopt;
  std::string normal = normalisePath(path);
  if (normal != "/dev" && !normal.starts_with("/dev/")) return std::nullopt;
  return normal;
}

bool priorityChecked(unsigned long request) {
  switch (request) {
    case VIDIOC_S_FMT:
    case VIDIOC_S_PARM:
    case VIDIOC_S_CTRL:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_S_INPUT:
    case VIDIOC_S_PRIORITY:
    case VIDIOC_REQBUFS:
    case VIDIOC_CREATE_BUFS:
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
      return true;
    default:
      return false;
  }
}

short vbPoll(const OpenFile& file) {
  const BufferQueue& queue = file.node->queue;
  if (queue.busyFor(&file) || !queue.streaming()) return POLLERR;
  return queue.hasDone() ? POLLIN | POLLRDNORM : 0;
}

}  // namespace

Simulator* Simulator::instance() {
  static Simulator* const simulator = []() -> Simulator* {
    const char* path = std::getenv(kSimEnv);
    if (!path || !*path) return nullptr;
    std::istringstream in(readConfig(path));
    std::ostringstream diagnostics;
    auto configs = parseSimConfig(in, path, diagnostics);
    const std::string text = diagnostics.str();
    if (!text.empty() && real::write()(STDERR_FILENO, text.data(), text.size()) < 0) {
      return nullptr;
    }
    // Never destroyed: frame threads may still run while the process exits.
    return configs.empty() ? nullptr : new Simulator(std::move(configs));
  }();
  return simulator;
}

Simulator::Simulator(std::vector<NodeConfig> configs) {
  for (auto& config : configs) {
    auto node = std::make_unique<SimNode>();
    node->path = "/dev/video" + std::to_string(config.number);
    const std::string target = "../../video" + std::to_string(config.number);
    tree_.addNode(node->path);
    if (!config.byId.empty()) tree_.addLink("/dev/v4l/by-id/" + config.byId, target);
    if (!config.byPath.empty()) tree_.addLink("/dev/v4l/by-path/" + config.byPath, target);
    node->config = std::move(config);
    nodes_.push_back(std::move(node));
  }
}

SimNode* Simulator::nodeAt(const std::string& path) {
  for (auto& node : nodes_) {
    if (!node->gone && node->path == path) return node.get();
  }
  return nullptr;
}

std::shared_ptr<OpenFile> Simulator::fileOf(int fd) {
  const auto file = files_.find(fd);
  return file == files_.end() ? nullptr : file->second;
}

void Simulator::checkUnplugs() {
  const auto now = Clock::now();
  for (auto& node : nodes_) {
    const Faults& faults = node->config.faults;
    const auto due = [&](const std::optional<Clock::time_point>& from,
                         const std::optional<double>& after) {
      return from && after && now - *from >= std::chrono::duration<double>(*after);
    };
    if (!node->gone && (due(node->firstOpen, faults.unplugAfterOpen) ||
                        due(node->firstStream, faults.unplugAfterStream))) {
      unplug(*node);
    }
  }
}

void Simulator::unplug(SimNode& node) {
  node.gone = true;
  tree_.removeNode(node.path);
  ++node.streamGeneration;
  changed_.notify_all();
  refreshAll(node);
}

void Simulator::refresh(OpenFile& file) {
  const bool ready = file.node->gone || file.events.pending() || vbPoll(file) != 0;
  std::uint64_t count = 1;
  if (ready && !file.signalled) {
    file.signalled = real::write()(file.eventFd, &count, sizeof count) == sizeof count;
  } else if (!ready && file.signalled) {
    file.signalled = real::read()(file.eventFd, &count, sizeof count) != sizeof count;
  }
}

void Simulator::refreshAll(SimNode& node) {
  for (OpenFile* file : node.files) refresh(*file);
}

std::optional<int> Simulator::open(const char* path, int flags) {
  const auto normal = devPath(path);
  if (!normal) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  const auto resolved = tree_.resolve(*normal);
  if (!resolved) return std::nullopt;
  if (SimNode* node = nodeAt(*resolved)) {
    if (node->config.faults.busy == Busy::Open || (flags & O_DIRECTORY)) {
      errno = (flags & O_DIRECTORY) ? ENOTDIR : EBUSY;
      return -1;
    }
    const int fd = eventfd(
        0, ((flags & O_NONBLOCK) ? EFD_NONBLOCK : 0) | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd < 0) return -1;
    auto file = std::make_shared<OpenFile>();
    file->node = node;
    file->eventFd = fd;
    node->files.push_back(file.get());
    files_[fd] = file;
    if (!node->firstOpen) node->firstOpen = Clock::now();
    refresh(*file);
    return fd;
  }
  if (existsReally(*resolved)) return std::nullopt;
  // A directory only we have: the caller reads it through a descriptor on /dev.
  const int fd = real::open()("/dev", O_RDONLY | O_DIRECTORY | (flags & O_CLOEXEC));
  if (fd >= 0) standInDirs_[fd] = *resolved;
  return fd;
}

std::optional<int> Simulator::openAt(int dirFd, const char* path, int flags) {
  if (!path || path[0] == '/' || dirFd == AT_FDCWD) return open(path, flags);
  std::string dir;
  {
    std::lock_guard lock(mutex_);
    const auto standIn = standInDirs_.find(dirFd);
    if (standIn == standInDirs_.end()) return std::nullopt;
    dir = standIn->second;
  }
  return open((dir + "/" + path).c_str(), flags);
}

bool Simulator::owns(int fd) {
  std::lock_guard lock(mutex_);
  return files_.count(fd) != 0;
}

void Simulator::forget(int fd) {
  std::lock_guard lock(mutex_);
  standInDirs_.erase(fd);
  const auto entry = files_.find(fd);
  if (entry == files_.end()) return;
  const std::shared_ptr<OpenFile> file = entry->second;
  files_.erase(entry);
  if (file.use_count() > 1) return;  // another descriptor still holds the file
  SimNode& node = *file->node;
  std::erase(node.files, file.get());
  if (node.reader == file.get()) {
    node.reader = nullptr;
    node.readBuffer.reset();
  }
  if (node.queue.owner() == file.get()) {
    node.queue.release();
    ++node.streamGeneration;
    ++node.bufferGeneration;
  }
  changed_.notify_all();
}

void Simulator::duplicated(int from, int to) {
  std::lock_guard lock(mutex_);
  if (const auto file = fileOf(from)) files_[to] = file;
  if (const auto dir = standInDirs_.find(from); dir != standInDirs_.end()) {
    standInDirs_[to] = dir->second;
  }
}

std::optional<int> Simulator::ioctl(int fd, unsigned long request, void* arg) {
  std::unique_lock lock(mutex_);
  const auto file = fileOf(fd);
  if (!file) return std::nullopt;
  checkUnplugs();
  int error = ENODEV;
  if (!file->node->gone && _IOC_DIR(request) != _IOC_NONE && !arg) {
    error = EFAULT;  // the kernel fails to copy the argument in
  } else if (!file->node->gone) {
    const bool nonBlocking = (real::fcntl()(fd, F_GETFL) & O_NONBLOCK) != 0;
    error = dispatch(*file, request, arg, lock);
    while (error == EAGAIN && request == VIDIOC_DQBUF && !nonBlocking) {
      changed_.wait(lock);
      error = file->node->gone ? ENODEV : dispatch(*file, request, arg, lock);
    }
  }
  refreshAll(*file->node);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

int Simulator::dispatch(OpenFile& file, unsigned long request, void* arg,
                        std::unique_lock<std::mutex>& lock) {
  SimNode& node = *file.node;
  std::uint32_t highest = V4L2_PRIORITY_UNSET;
  for (const OpenFile* other : node.files) highest = std::max(highest, other->priority);
  if (priorityChecked(request) && file.priority < highest) return EBUSY;
  const bool busyElsewhere = node.config.faults.busy == Busy::Stream;
  switch (request) {
    case VIDIOC_G_PRIORITY:
      *static_cast<std::uint32_t*>(arg) = highest;
      return 0;
    case VIDIOC_S_PRIORITY: {
      const std::uint32_t priority = *static_cast<std::uint32_t*>(arg);
      if (priority < V4L2_PRIORITY_BACKGROUND || priority > V4L2_PRIORITY_RECORD) return EINVAL;
      file.priority = priority;
      return 0;
    }
    case VIDIOC_S_FMT: {
      if (node.queue.allocated() || busyElsewhere) return EBUSY;
      const v4l2_pix_format& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
      const auto& refused = node.config.faults.refusedSizes;
      if (std::find(refused.begin(), refused.end(), std::pair{pix.width, pix.height}) !=
          refused.end()) {
        return EIO;
      }
      break;
    }
    case VIDIOC_S_PARM:
    case VIDIOC_S_INPUT:
      if (node.queue.streaming()) return EBUSY;
      break;
    case VIDIOC_S_CTRL:
    case VIDIOC_S_EXT_CTRLS:
      return controlIoctl(file, request, arg);
    case VIDIOC_SUBSCRIBE_EVENT:
      return file.events.subscribe(node.config.device, *static_cast<v4l2_event_subscription*>(arg));
    case VIDIOC_UNSUBSCRIBE_EVENT:
      return file.events.unsubscribe(*static_cast<v4l2_event_subscription*>(arg));
    case VIDIOC_DQEVENT:
      return file.events.dequeue(*static_cast<v4l2_event*>(arg));
    case VIDIOC_REQBUFS:
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF:
    case VIDIOC_EXPBUF:
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
      return streamingIoctl(file, request, arg, lock);
    default:
      break;
  }
  return answer(node.config.device, request, arg);
}

int Simulator::controlIoctl(OpenFile& file, unsigned long request, void* arg) {
  Device& device = file.node->config.device;
  std::vector<std::int64_t> before;
  for (const auto& control : device.controls) before.push_back(control.value);
  const int error = answer(device, request, arg);
  for (std::size_t i = 0; i < device.controls.size(); ++i) {
    if (device.controls[i].value == before[i]) continue;
    for (OpenFile* other : file.node->files) {
      other->events.changed(device.controls[i], other == &file);
    }
  }
  return error;
}

int Simulator::streamingIoctl(OpenFile& file, unsigned long request, void* arg,
                              std::unique_lock<std::mutex>& /*lock*/) {
  SimNode& node = *file.node;
  BufferQueue& queue = node.queue;
  const Device& device = node.config.device;
  // While a file reads, the buffers are read()'s own.
  if (node.reader && request != VIDIOC_QUERYBUF) return EBUSY;
  const bool busy = queue.busyFor(&file);
  switch (request) {
    case VIDIOC_REQBUFS: {
      auto& request = *static_cast<v4l2_requestbuffers*>(arg);
      if (request.count > 0 && node.config.faults.busy == Busy::Stream) return EBUSY;
      const int error = queue.reqbufs(
          &file, request, deviceImageSize(device, device.pixelFormat, device.width, device.height));
      if (error == 0) {
        ++node.bufferGeneration;
        ++node.streamGeneration;
      }
      return error;
    }
    case VIDIOC_QUERYBUF:
      return queue.querybuf(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_QBUF:
      return busy ? EBUSY : queue.qbuf(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_DQBUF:
      return busy ? EBUSY : queue.dqbuf(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_EXPBUF:
      return busy ? EBUSY : queue.expbuf(*static_cast<v4l2_exportbuffer*>(arg));
    case VIDIOC_STREAMON: {
      if (busy || node.config.faults.busy == Busy::Stream) return EBUSY;
      if (queue.streaming())
        return *static_cast<int*>(arg) == V4L2_BUF_TYPE_VIDEO_CAPTURE ? 0 : EINVAL;
      const int error = queue.streamon(*static_cast<std::uint32_t*>(arg));
      if (error == 0) startFrames(node);
      return error;
    }
    case VIDIOC_STREAMOFF:
      if (busy) return EBUSY;
      if (*static_cast<std::uint32_t*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE) return EINVAL;
      queue.streamoff();
      ++node.streamGeneration;
      changed_.notify_all();
      return 0;
    default:
      return ENOTTY;
  }
}

void Simulator::startFrames(SimNode& node) {
  const unsigned generation = ++node.streamGeneration;
  node.streamStart = Clock::now();
  node.frameIndex = 0;
  node.sequence = 0;
  if (!node.firstStream) node.firstStream = node.streamStart;
  std::thread(&Simulator::produceFrames, this, &node, generation).detach();
}

// Paces frames at the format's rate from STREAMON, with the faults the node is given.
void Simulator::produceFrames(SimNode* node, unsigned generation) {
  std::unique_lock lock(mutex_);
  const auto stopped = [&] { return node->streamGeneration != generation || node->gone; };
  while (!stopped()) {
    const Device& device = node->config.device;
    const Faults& faults = node->config.faults;
    const double interval = double(device.interval.numerator) / device.interval.denominator;
    const std::chrono::duration<double> at(interval * static_cast<double>(node->frameIndex));
    const auto due = node->streamStart + std::chrono::duration_cast<Clock::duration>(at);
    if (changed_.wait_until(lock, due, stopped)) break;
    checkUnplugs();
    if (stopped()) break;
    const std::uint64_t index = node->frameIndex++;
    const double t = at.count();
    if (t >= faults.stallAt && t < faults.stallAt + faults.stallFor) continue;
    const std::uint32_t sequence = node->sequence++;
    if (faults.dropEvery && (index + 1) % faults.dropEvery == 0) continue;
    SimBuffer* buffer = node->queue.nextQueued();
    if (!buffer) continue;  // no buffer: the camera's frame is lost
    int lift = 0;
    if (const Control* b = findControl(node->config.device, V4L2_CID_BRIGHTNESS)) {
      lift = brightnessLift(b->value, b->defaultValue, b->minimum, b->maximum);
    }
    paintFrame(node->config.pattern, index,
               {device.pixelFormat, device.width, device.height,
                deviceBytesPerLine(device, device.pixelFormat, device.width)},
               lift, buffer->data, buffer->length);
    const bool cut = faults.shortEvery && (index + 1) % faults.shortEvery == 0;
    buffer->bytesused = cut ? buffer->length / 2 : buffer->length;
    buffer->sequence = sequence;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    buffer->timestamp = {now.tv_sec, now.tv_nsec / 1000};
    node->queue.complete();
    refreshAll(*node);
    changed_.notify_all();
  }
}

std::optional<void*> Simulator::mmap(void* address, std::size_t length, int prot, int flags, int fd,
                                     off_t offset) {
  std::lock_guard lock(mutex_);
  const auto file = fileOf(fd);
  if (!file) return std::nullopt;
  SimNode& node = *file->node;
  int index = -1;
  const int memfd = node.gone ? -1 : node.queue.mapFor(offset, length, index);
  if (memfd < 0 || !(flags & MAP_SHARED) || !(prot & PROT_READ)) {
    errno = node.gone ? ENODEV : EINVAL;
    return MAP_FAILED;
  }
  void* mapped = real::mmap()(address, length, prot, flags, memfd, 0);
  if (mapped != MAP_FAILED) {
    node.queue.noteMapping(index, 1);
    mappings_[mapped] = {&node, index, node.bufferGeneration};
  }
  return mapped;
}

void Simulator::unmapped(void* address) {
  std::lock_guard lock(mutex_);
  const auto mapping = mappings_.find(address);
  if (mapping == mappings_.end()) return;
  if (mapping->second.generation == mapping->second.node->bufferGeneration) {
    mapping->second.node->queue.noteMapping(mapping->second.index, -1);
  }
  mappings_.erase(mapping);
}

std::optional<short> Simulator::pollEvents(int fd, short events) {
  std::lock_guard lock(mutex_);
  const auto file = fileOf(fd);
  if (!file) return std::nullopt;
  checkUnplugs();
  short bits = file->events.pending() ? POLLPRI : 0;
  if (file->node->gone) {
    bits = POLLERR | POLLHUP;
  } else if (events & (POLLIN | POLLRDNORM)) {
    // A poll for input on a camera that reads starts reading, as videobuf2 does.
    SimNode& node = *file->node;
    if ((node.config.device.deviceCaps & V4L2_CAP_READWRITE) && !node.reader &&
        !node.queue.allocated() && startReading(*file) == 0) {
      refreshAll(node);
    }
    bits |= vbPoll(*file);
  }
  return static_cast<short>(bits & (events | POLLERR | POLLHUP));
}

void Simulator::fillNodeStat(const SimNode& node, struct stat& out) const {
  out = {};
  out.st_dev = makedev(0, 5);
  out.st_ino = 1000 + node.config.number;
  out.st_mode = S_IFCHR | 0660;
  out.st_nlink = 1;
  out.st_gid = kVideoGroup;
  out.st_rdev = makedev(kVideoMajor, node.config.number);
  out.st_blksize = 4096;
}

std::optional<int> Simulator::stat(const char* path, bool followLinks, struct stat* out) {
  const auto normal = devPath(path);
  if (!normal) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  if (const auto target = tree_.linkTarget(*normal); target && !followLinks) {
    *out = {};
    out->st_mode = S_IFLNK | 0777;
    out->st_nlink = 1;
    out->st_size = static_cast<off_t>(target->size());
    return 0;
  }
  const auto resolved = tree_.resolve(*normal);
  if (!resolved) return std::nullopt;
  if (const SimNode* node = nodeAt(*resolved)) {
    fillNodeStat(*node, *out);
    return 0;
  }
  if (existsReally(*resolved)) return std::nullopt;
  *out = {};
  out->st_mode = S_IFDIR | 0755;
  out->st_nlink = 2;
  return 0;
}

std::optional<int> Simulator::fstat(int fd, struct stat* out) {
  std::lock_guard lock(mutex_);
  const auto file = fileOf(fd);
  if (!file) return std::nullopt;
  fillNodeStat(*file->node, *out);
  return 0;
}

std::optional<int> Simulator::access(const char* path, int mode) {
  struct stat st {};
  const auto found = stat(path, true, &st);
  if (!found || *found != 0) return found;
  if (S_ISCHR(st.st_mode) && (mode & X_OK)) {
    errno = EACCES;
    return -1;
  }
  return 0;
}

std::optional<std::string> Simulator::readlink(const char* path) {
  const auto normal = devPath(path);
  if (!normal) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  return tree_.linkTarget(*normal);
}

std::optional<std::string> Simulator::realpath(const char* path) {
  const auto normal = devPath(path);
  if (!normal) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  const auto resolved = tree_.resolve(*normal);
  if (!resolved || (!nodeAt(*resolved) && existsReally(*resolved))) return std::nullopt;
  return resolved;
}

std::optional<std::vector<DirEntry>> Simulator::listing(const char* dir, bool& standIn) {
  const auto normal = devPath(dir);
  if (!normal) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  const int saved = errno;
  const auto names = tree_.list(*normal);
  errno = saved;
  if (!names) return std::nullopt;
  standIn = !existsReally(*normal);
  std::vector<DirEntry> entries;
  for (const auto& name : *names) {
    const std::string path = *normal + "/" + name;
    if (existsReally(path)) continue;
    const unsigned char type = tree_.linkTarget(path) ? DT_LNK
                               : tree_.hasNode(path)  ? DT_CHR
                                                      : DT_DIR;
    entries.push_back({name, type});
  }
  if (entries.empty() && !standIn) return std::nullopt;
  return entries;
}

std::optional<std::string> Simulator::standInDirectory(int fd) {
  std::lock_guard lock(mutex_);
  const auto dir = standInDirs_.find(fd);
  if (dir == standInDirs_.end()) return std::nullopt;
  return dir->second;
}

}  // namespace kovracam::v4l2sim

namespace kovracam::v4l2sim {

std::optional<std::string> Simulator::sysfsText(const char* path) {
  if (!path || std::string_view(path).find("/sys/") != 0) return std::nullopt;
  std::lock_guard lock(mutex_);
  checkUnplugs();
  for (const auto& node : nodes_) {
    const std::string n = std::to_string(node->config.number);
    if (!node->gone &&
        path == "/sys/dev/char/" + std::to_string(kVideoMajor) + ":" + n + "/uevent") {
      return "MAJOR=" + std::to_string(kVideoMajor) + "\nMINOR=" + n + "\nDEVNAME=video" + n + "\n";
    }
  }
  return std::nullopt;
}

}  // namespace kovracam::v4l2sim
