// The C library calls the simulator stands behind when it is preloaded. Each passes straight on
// to the real one unless it names a simulated node, one of their links or directories, or a
// descriptor open on a node.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/v4l2sim/real_libc.h"
#include "tools/v4l2sim/simulator.h"

using kovracam::v4l2sim::DirEntry;
using kovracam::v4l2sim::Simulator;
namespace real = kovracam::v4l2sim::real;

namespace {

// A lock-free look at whether a descriptor may be ours, so that the calls every program makes
// all the time (read, write, close) do not take the simulator's lock.
constexpr int kTrackedFds = 1 << 16;
std::atomic<bool> ours[kTrackedFds];

bool mayBeOurs(int fd) { return fd >= 0 && fd < kTrackedFds && ours[fd].load(); }

void mark(int fd, bool value) {
  if (fd >= 0 && fd < kTrackedFds) ours[fd].store(value);
}

Simulator* simulator() { return Simulator::instance(); }

int opened(std::optional<int> fd) {
  if (fd && *fd >= 0) mark(*fd, true);
  return *fd;
}

void duplicated(int from, int to) {
  if (to < 0 || !mayBeOurs(from)) return;
  if (Simulator* sim = simulator()) {
    sim->duplicated(from, to);
    mark(to, true);
  }
}

void forget(int fd) {
  if (!mayBeOurs(fd)) return;
  if (Simulator* sim = simulator()) sim->forget(fd);
  mark(fd, false);
}

mode_t modeArgument(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

// A sysfs file of ours, as a memfd that reads like the real one.
std::optional<int> sysfsFile(Simulator& sim, const char* path) {
  const auto text = sim.sysfsText(path);
  if (!text) return std::nullopt;
  const int fd = memfd_create("v4l2sim-sysfs", MFD_CLOEXEC);
  if (fd >= 0 && (real::write()(fd, text->data(), text->size()) < 0 || lseek(fd, 0, SEEK_SET))) {
    real::close()(fd);
    return -1;
  }
  return fd;
}

int openPath(const char* path, int flags, mode_t mode) {
  if (Simulator* sim = simulator()) {
    if (const auto fd = sim->open(path, flags)) return opened(fd);
    if (const auto fd = sysfsFile(*sim, path)) return *fd;
  }
  return real::open()(path, flags, mode);
}

int openPathAt(int dirFd, const char* path, int flags, mode_t mode) {
  if (Simulator* sim = simulator()) {
    if (const auto fd = sim->openAt(dirFd, path, flags)) return opened(fd);
  }
  return real::openat()(dirFd, path, flags, mode);
}

// Directory streams that show entries of ours after (or instead of) the real ones.
struct Listing {
  std::vector<DirEntry> entries;
  std::size_t next = 0;
  bool standIn = false;  // the directory exists only here: no real entries
  dirent entry{};
};
std::mutex listingsMutex;
std::map<DIR*, Listing> listings;

DIR* withListing(DIR* dir, std::optional<std::vector<DirEntry>> entries, bool standIn) {
  if (dir && entries) {
    std::lock_guard lock(listingsMutex);
    listings[dir] = {std::move(*entries), 0, standIn, {}};
  }
  return dir;
}

template <typename Entry>
Entry* nextEntry(DIR* dir, Entry* (*readReal)(DIR*)) {
  bool standIn = false;
  {
    std::lock_guard lock(listingsMutex);
    const auto listing = listings.find(dir);
    if (listing == listings.end()) return readReal(dir);
    standIn = listing->second.standIn;
  }
  if (!standIn) {
    if (Entry* real = readReal(dir)) return real;
  }
  std::lock_guard lock(listingsMutex);
  Listing& listing = listings.at(dir);
  if (listing.next >= listing.entries.size()) return nullptr;
  const DirEntry& ours = listing.entries[listing.next++];
  listing.entry = {};
  listing.entry.d_ino = 900000 + listing.next;
  listing.entry.d_off = static_cast<off_t>(listing.next);
  listing.entry.d_reclen = sizeof listing.entry;
  listing.entry.d_type = ours.type;
  strncpy(listing.entry.d_name, ours.name.c_str(), sizeof listing.entry.d_name - 1);
  static_assert(sizeof(Entry) == sizeof(dirent));
  return reinterpret_cast<Entry*>(&listing.entry);
}

template <typename Entry>
int scan(const char* path, Entry*** names, int (*filter)(const Entry*),
         int (*compare)(const Entry**, const Entry**)) {
  DIR* dir = opendir(path);
  if (!dir) return -1;
  std::vector<Entry*> found;
  while (dirent* entry = readdir(dir)) {
    Entry* e = reinterpret_cast<Entry*>(entry);
    if (filter && !filter(e)) continue;
    auto* copy = static_cast<Entry*>(malloc(sizeof(Entry)));
    memcpy(copy, e, sizeof(Entry));
    found.push_back(copy);
  }
  closedir(dir);
  if (compare) {
    std::sort(found.begin(), found.end(),
              [&](const Entry* a, const Entry* b) { return compare(&a, &b) < 0; });
  }
  *names = static_cast<Entry**>(malloc(sizeof(Entry*) * std::max<std::size_t>(found.size(), 1)));
  std::copy(found.begin(), found.end(), *names);
  return static_cast<int>(found.size());
}

int statPath(const char* path, struct stat* out, bool follow) {
  if (Simulator* sim = simulator()) {
    if (const auto result = sim->stat(path, follow, out)) return *result;
  }
  return follow ? real::stat()(path, out) : real::lstat()(path, out);
}

int statFd(int fd, struct stat* out) {
  if (mayBeOurs(fd)) {
    if (const auto result = simulator()->fstat(fd, out)) return *result;
  }
  return real::fstat()(fd, out);
}

bool anyOurs(const pollfd* fds, nfds_t count) {
  return std::any_of(fds, fds + count, [](const pollfd& p) { return mayBeOurs(p.fd); });
}

// poll with our descriptors' bits put in; waits on their eventfds natively.
int pollOurs(pollfd* fds, nfds_t count, std::optional<std::chrono::nanoseconds> timeout,
             const sigset_t* mask) {
  const auto deadline = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::hours(0));
  std::vector<pollfd> waits(fds, fds + count);
  while (true) {
    for (nfds_t i = 0; i < count; ++i) {
      if (mayBeOurs(fds[i].fd)) waits[i].events = POLLIN;
    }
    timespec left{};
    const timespec* wait = nullptr;
    if (timeout) {
      const auto rest = std::max(deadline - std::chrono::steady_clock::now(),
                                 std::chrono::steady_clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(rest).count();
      left = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      wait = &left;
    }
    const int woken = real::ppoll()(waits.data(), count, wait, mask);
    if (woken < 0) return woken;
    int ready = 0;
    for (nfds_t i = 0; i < count; ++i) {
      const auto bits =
          mayBeOurs(fds[i].fd) ? simulator()->pollEvents(fds[i].fd, fds[i].events) : std::nullopt;
      fds[i].revents = bits ? *bits : waits[i].revents;
      ready += fds[i].revents != 0;
    }
    if (ready > 0 || (timeout && std::chrono::steady_clock::now() >= deadline)) return ready;
    // Our eventfd woke for something the caller did not ask about: look again shortly.
    if (woken > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int selectOurs(int count, fd_set* readable, fd_set* writable, fd_set* failed,
               std::optional<std::chrono::nanoseconds> timeout, const sigset_t* mask) {
  std::vector<pollfd> fds;
  for (int fd = 0; fd < count; ++fd) {
    short events = 0;
    if (readable && FD_ISSET(fd, readable)) events |= POLLIN;
    if (writable && FD_ISSET(fd, writable)) events |= POLLOUT;
    if (failed && FD_ISSET(fd, failed)) events |= POLLPRI;
    if (events) fds.push_back({fd, events, 0});
  }
  const int woken = pollOurs(fds.data(), fds.size(), timeout, mask);
  if (woken < 0) return woken;
  int ready = 0;
  for (const pollfd& p : fds) {
    const auto keep = [&](fd_set* set, short bits) {
      if (!set || !FD_ISSET(p.fd, set)) return;
      if (p.revents & bits) {
        ++ready;
      } else {
        FD_CLR(p.fd, set);
      }
    };
    keep(readable, POLLIN | POLLHUP | POLLERR);
    keep(writable, POLLOUT | POLLERR);
    keep(failed, POLLPRI);
  }
  return ready;
}

bool anyOursIn(int count, const fd_set* a, const fd_set* b, const fd_set* c) {
  for (int fd = 0; fd < count; ++fd) {
    if (mayBeOurs(fd) &&
        ((a && FD_ISSET(fd, a)) || (b && FD_ISSET(fd, b)) || (c && FD_ISSET(fd, c)))) {
      return true;
    }
  }
  return false;
}

// A path the simulator can take whole: absolute, or relative to the working directory.
bool namesFromRoot(int dirFd, const char* path) {
  return path && (path[0] == '/' || dirFd == AT_FDCWD);
}

bool isEmpty(const char* path) { return path && !*path; }

char* copyPath(const std::string& path, char* resolved) {
  if (path.size() >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  if (!resolved) return strdup(path.c_str());
  memcpy(resolved, path.c_str(), path.size() + 1);
  return resolved;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeArgument(flags, args);
  va_end(args);
  return openPath(path, flags, mode);
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // open is open64 there
int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeArgument(flags, args);
  va_end(args);
  return openPath(path, flags, mode);
}
#endif

int __open_2(const char* path, int flags) { return openPath(path, flags, 0); }
int __open64_2(const char* path, int flags) { return openPath(path, flags, 0); }

int openat(int dirFd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeArgument(flags, args);
  va_end(args);
  return openPathAt(dirFd, path, flags, mode);
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // openat is openat64 there
int openat64(int dirFd, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = modeArgument(flags, args);
  va_end(args);
  return openPathAt(dirFd, path, flags, mode);
}
#endif

int __openat_2(int dirFd, const char* path, int flags) { return openPathAt(dirFd, path, flags, 0); }
int __openat64_2(int dirFd, const char* path, int flags) {
  return openPathAt(dirFd, path, flags, 0);
}

int close(int fd) {
  forget(fd);
  return real::close()(fd);
}

int dup(int fd) {
  const int copy = real::dup()(fd);
  duplicated(fd, copy);
  return copy;
}

int dup2(int fd, int target) {
  if (fd == target) return real::dup2()(fd, target);
  forget(target);
  const int copy = real::dup2()(fd, target);
  duplicated(fd, copy);
  return copy;
}

int dup3(int fd, int target, int flags) {
  if (fd != target) forget(target);
  const int copy = real::dup3()(fd, target, flags);
  duplicated(fd, copy);
  return copy;
}

int fcntl(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  const int result = real::fcntl()(fd, command, argument);
  if (command == F_DUPFD || command == F_DUPFD_CLOEXEC) duplicated(fd, result);
  return result;
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // fcntl is the 64-bit one there
int fcntl64(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  void* argument = va_arg(args, void*);
  va_end(args);
  return fcntl(fd, command, argument);
}
#endif

int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* argument = va_arg(args, void*);
  va_end(args);
  if (mayBeOurs(fd)) {
    if (const auto result = simulator()->ioctl(fd, request, argument)) return *result;
  }
  return real::ioctl()(fd, request, argument);
}

ssize_t read(int fd, void* buffer, size_t size) {
  if (mayBeOurs(fd)) {
    if (const auto got = simulator()->read(fd, buffer, size)) return *got;
  }
  return real::read()(fd, buffer, size);
}

ssize_t __read_chk(int fd, void* buffer, size_t size, size_t /*bufferSize*/) {
  return read(fd, buffer, size);
}

ssize_t write(int fd, const void* buffer, size_t size) {
  if (mayBeOurs(fd)) {
    errno = EINVAL;
    return -1;
  }
  return real::write()(fd, buffer, size);
}

void* mmap(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
  if (mayBeOurs(fd)) {
    if (const auto mapped = simulator()->mmap(address, length, prot, flags, fd, offset)) {
      return *mapped;
    }
  }
  return real::mmap()(address, length, prot, flags, fd, offset);
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // mmap is mmap64 there
void* mmap64(void* address, size_t length, int prot, int flags, int fd, off_t offset) {
  return mmap(address, length, prot, flags, fd, offset);
}
#endif

int munmap(void* address, size_t length) {
  const int result = real::munmap()(address, length);
  if (result == 0) {
    if (Simulator* sim = simulator()) sim->unmapped(address);
  }
  return result;
}

// glibc's fortified header declares the poll calls' arrays write-only, though they read the
// descriptors from them; GCC then takes our reading of them for a read of uninitialised memory.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
int poll(pollfd* fds, nfds_t count, int timeout) {
  if (!anyOurs(fds, count)) return real::poll()(fds, count, timeout);
  std::optional<std::chrono::nanoseconds> wait;
  if (timeout >= 0) wait = std::chrono::milliseconds(timeout);
  return pollOurs(fds, count, wait, nullptr);
}

int __poll_chk(pollfd* fds, nfds_t count, int timeout, size_t /*size*/) {
  return poll(fds, count, timeout);
}

int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
  if (!anyOurs(fds, count)) return real::ppoll()(fds, count, timeout, mask);
  std::optional<std::chrono::nanoseconds> wait;
  if (timeout)
    wait = std::chrono::seconds(timeout->tv_sec) + std::chrono::nanoseconds(timeout->tv_nsec);
  return pollOurs(fds, count, wait, mask);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The fortified ppoll of the 64-bit-time interface has a name of its own.
#ifdef KOVRACAM_PLAIN_NAMES_ARE_64
#define KOVRACAM_PPOLL_CHK __ppoll64_chk
#else
#define KOVRACAM_PPOLL_CHK __ppoll_chk
#endif
int KOVRACAM_PPOLL_CHK(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask,
                       size_t /*size*/) {
  return ppoll(fds, count, timeout, mask);
}

int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, timeval* timeout) {
  if (!anyOursIn(count, readable, writable, failed)) {
    return real::select()(count, readable, writable, failed, timeout);
  }
  std::optional<std::chrono::nanoseconds> wait;
  if (timeout)
    wait = std::chrono::seconds(timeout->tv_sec) + std::chrono::microseconds(timeout->tv_usec);
  return selectOurs(count, readable, writable, failed, wait, nullptr);
}

int pselect(int count, fd_set* readable, fd_set* writable, fd_set* failed, const timespec* timeout,
            const sigset_t* mask) {
  if (!anyOursIn(count, readable, writable, failed)) {
    return real::pselect()(count, readable, writable, failed, timeout, mask);
  }
  std::optional<std::chrono::nanoseconds> wait;
  if (timeout)
    wait = std::chrono::seconds(timeout->tv_sec) + std::chrono::nanoseconds(timeout->tv_nsec);
  return selectOurs(count, readable, writable, failed, wait, mask);
}

int stat(const char* path, struct stat* out) { return statPath(path, out, true); }
int lstat(const char* path, struct stat* out) { return statPath(path, out, false); }
int fstat(int fd, struct stat* out) { return statFd(fd, out); }
#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // the plain names are these there
int stat64(const char* path, struct stat64* out) {
  return statPath(path, reinterpret_cast<struct stat*>(out), true);
}
int lstat64(const char* path, struct stat64* out) {
  return statPath(path, reinterpret_cast<struct stat*>(out), false);
}
int fstat64(int fd, struct stat64* out) { return statFd(fd, reinterpret_cast<struct stat*>(out)); }
#endif

int fstatat(int dirFd, const char* path, struct stat* out, int flags) {
  if ((flags & AT_EMPTY_PATH) && isEmpty(path)) return statFd(dirFd, out);
  if (namesFromRoot(dirFd, path)) {
    return statPath(path, out, !(flags & AT_SYMLINK_NOFOLLOW));
  }
  return real::fstatat()(dirFd, path, out, flags);
}
#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // fstatat is this there
int fstatat64(int dirFd, const char* path, struct stat64* out, int flags) {
  return fstatat(dirFd, path, reinterpret_cast<struct stat*>(out), flags);
}
#endif

int statx(int dirFd, const char* path, int flags, unsigned mask, struct statx* out) {
  struct stat st {};
  std::optional<int> found;
  if (Simulator* sim = simulator()) {
    if ((flags & AT_EMPTY_PATH) && isEmpty(path) && mayBeOurs(dirFd)) {
      found = sim->fstat(dirFd, &st);
    } else if (namesFromRoot(dirFd, path)) {
      found = sim->stat(path, !(flags & AT_SYMLINK_NOFOLLOW), &st);
    }
  }
  if (!found) return real::statx()(dirFd, path, flags, mask, out);
  if (*found != 0) return *found;
  *out = {};
  out->stx_mask = STATX_BASIC_STATS;
  out->stx_mode = static_cast<__u16>(st.st_mode);
  out->stx_nlink = static_cast<__u32>(st.st_nlink);
  out->stx_gid = st.st_gid;
  out->stx_size = static_cast<__u64>(st.st_size);
  out->stx_ino = st.st_ino;
  out->stx_blksize = static_cast<__u32>(st.st_blksize);
  out->stx_rdev_major = major(st.st_rdev);
  out->stx_rdev_minor = minor(st.st_rdev);
  out->stx_dev_major = major(st.st_dev);
  out->stx_dev_minor = minor(st.st_dev);
  return 0;
}

int access(const char* path, int mode) {
  if (Simulator* sim = simulator()) {
    if (const auto result = sim->access(path, mode)) return *result;
  }
  return real::access()(path, mode);
}

int faccessat(int dirFd, const char* path, int mode, int flags) {
  if (Simulator* sim = simulator(); sim && namesFromRoot(dirFd, path)) {
    if (const auto result = sim->access(path, mode)) return *result;
  }
  return real::faccessat()(dirFd, path, mode, flags);
}

int euidaccess(const char* path, int mode) { return access(path, mode); }
int eaccess(const char* path, int mode) { return access(path, mode); }

ssize_t readlink(const char* path, char* buffer, size_t size) {
  if (Simulator* sim = simulator()) {
    if (const auto target = sim->readlink(path)) {
      const size_t n = std::min(size, target->size());
      memcpy(buffer, target->data(), n);
      return static_cast<ssize_t>(n);
    }
  }
  return real::readlink()(path, buffer, size);
}

ssize_t readlinkat(int dirFd, const char* path, char* buffer, size_t size) {
  if (namesFromRoot(dirFd, path)) return readlink(path, buffer, size);
  return real::readlinkat()(dirFd, path, buffer, size);
}

char* realpath(const char* path, char* resolved) {
  if (Simulator* sim = simulator()) {
    if (const auto found = sim->realpath(path)) return copyPath(*found, resolved);
  }
  return real::realpath()(path, resolved);
}

char* __realpath_chk(const char* path, char* resolved, size_t /*size*/) {
  return realpath(path, resolved);
}

char* canonicalize_file_name(const char* path) { return realpath(path, nullptr); }

FILE* fopen(const char* path, const char* mode) {
  if (Simulator* sim = simulator()) {
    if (const auto fd = sysfsFile(*sim, path)) return *fd < 0 ? nullptr : fdopen(*fd, "r");
  }
  static auto* const next = reinterpret_cast<decltype(&::fopen)>(
      dlsym(RTLD_NEXT, KOVRACAM_LIBC_SYMBOL("fopen", "fopen64")));
  return next(path, mode);
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // fopen is fopen64 there
FILE* fopen64(const char* path, const char* mode) {
  if (Simulator* sim = simulator()) {
    if (const auto fd = sysfsFile(*sim, path)) return *fd < 0 ? nullptr : fdopen(*fd, "r");
  }
  static auto* const next = reinterpret_cast<decltype(&::fopen)>(dlsym(RTLD_NEXT, "fopen64"));
  return next(path, mode);
}
#endif

DIR* opendir(const char* path) {
  Simulator* sim = simulator();
  bool standIn = false;
  auto entries = sim ? sim->listing(path, standIn) : std::nullopt;
  DIR* dir = real::opendir()(entries && standIn ? "/dev" : path);
  return withListing(dir, std::move(entries), standIn);
}

DIR* fdopendir(int fd) {
  Simulator* sim = simulator();
  std::optional<std::string> path = sim ? sim->standInDirectory(fd) : std::nullopt;
  if (sim && !path) {
    char link[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = real::readlink()(self.c_str(), link, sizeof link - 1);
    if (n > 0) path = std::string(link, static_cast<std::size_t>(n));
  }
  bool standIn = false;
  auto entries = path ? sim->listing(path->c_str(), standIn) : std::nullopt;
  return withListing(real::fdopendir()(fd), std::move(entries), standIn);
}

dirent* readdir(DIR* dir) { return nextEntry<dirent>(dir, real::readdir()); }
#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // readdir is readdir64 there
dirent64* readdir64(DIR* dir) { return nextEntry<dirent64>(dir, real::readdir64()); }
#endif

void rewinddir(DIR* dir) {
  {
    std::lock_guard lock(listingsMutex);
    if (const auto listing = listings.find(dir); listing != listings.end()) {
      listing->second.next = 0;
    }
  }
  real::rewinddir()(dir);
}

int closedir(DIR* dir) {
  {
    std::lock_guard lock(listingsMutex);
    listings.erase(dir);
  }
  return real::closedir()(dir);
}

int scandir(const char* path, dirent*** names, int (*filter)(const dirent*),
            int (*compare)(const dirent**, const dirent**)) {
  return scan(path, names, filter, compare);
}

#ifndef KOVRACAM_PLAIN_NAMES_ARE_64  // scandir is scandir64 there
int scandir64(const char* path, dirent64*** names, int (*filter)(const dirent64*),
              int (*compare)(const dirent64**, const dirent64**)) {
  return scan(path, names, filter, compare);
}
#endif

}  // extern "C"
