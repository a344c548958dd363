// The fake kernel's file system, descriptors and ioctl dispatch. Format ioctls are in
// fake_v4l2_io_formats.cpp, control ioctls in fake_v4l2_io_controls.cpp.

#include "tests/fakes/fake_v4l2_io.h"

#include <cerrno>
#include <deque>
#include <utility>

namespace kovracam {
namespace {

// The kernel gives up after this many links in one lookup (ELOOP).
constexpr int kMaxLinkHops = 40;

std::deque<std::string> splitPath(const std::string& path) {
  std::deque<std::string> parts;
  std::string::size_type start = 0;
  while (start <= path.size()) {
    const auto end = std::min(path.find('/', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string joinPath(const std::deque<std::string>& parts) {
  if (parts.empty()) return "/";
  std::string path;
  for (const auto& part : parts) path += "/" + part;
  return path;
}

// "/dev//v4l/./by-id/" -> "/dev/v4l/by-id"; ".." is left for the lookup, which follows links.
std::string tidyPath(const std::string& path) {
  auto parts = splitPath(path);
  std::erase(parts, std::string("."));
  return joinPath(parts);
}

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

FakeV4l2Io::FakeV4l2Io() { addDirectory("/dev"); }

FakeV4l2Io::~FakeV4l2Io() = default;

void FakeV4l2Io::addDirectory(const std::string& dir) {
  for (std::string path = tidyPath(dir); path != "/"; path = parentOf(path)) {
    directories_.insert(path);
  }
  directories_.insert("/");
}

void FakeV4l2Io::addDevice(const std::string& node, FakeDevice device) {
  const std::string path = tidyPath(node);
  removeNode(path);
  addDirectory(parentOf(path));
  auto entry = std::make_shared<Node>();
  entry->path = path;
  entry->device = std::move(device);
  nodes_[path] = std::move(entry);
}

void FakeV4l2Io::addLink(const std::string& link, const std::string& target) {
  const std::string path = tidyPath(link);
  addDirectory(parentOf(path));
  links_[path] = target;
}

void FakeV4l2Io::failIoctl(const std::string& node, unsigned long request, int error, int times) {
  if (auto entry = presentNode(tidyPath(node))) entry->ioctlFailures[request] = {error, times};
}

void FakeV4l2Io::failOpen(const std::string& node, int error, int times) {
  if (auto entry = presentNode(tidyPath(node))) entry->openFailure = {error, times};
}

void FakeV4l2Io::vanish(const std::string& node) { removeNode(tidyPath(node)); }

void FakeV4l2Io::vanishAfterIoctls(const std::string& node, int count) {
  if (auto entry = presentNode(tidyPath(node))) entry->ioctlsBeforeVanish = count;
}

FakeDevice* FakeV4l2Io::device(const std::string& node) {
  auto entry = presentNode(tidyPath(node));
  return entry ? &entry->device : nullptr;
}

int FakeV4l2Io::ioctlCount(const std::string& node, unsigned long request) const {
  const auto counts = countsByPath_.find(tidyPath(node));
  if (counts == countsByPath_.end()) return 0;
  const auto count = counts->second.find(request);
  return count == counts->second.end() ? 0 : count->second;
}

std::shared_ptr<FakeV4l2Io::Node> FakeV4l2Io::presentNode(const std::string& path) const {
  const auto it = nodes_.find(path);
  return it == nodes_.end() ? nullptr : it->second;
}

bool FakeV4l2Io::isDirectory(const std::string& path) const {
  return directories_.count(path) != 0;
}

void FakeV4l2Io::removeNode(const std::string& path) {
  const auto entry = presentNode(path);
  if (!entry) return;
  // udev removes the device's links along with the node.
  std::vector<std::string> stale;
  for (const auto& link : links_) {
    if (resolveLink(link.first) == path) stale.push_back(link.first);
  }
  for (const auto& link : stale) links_.erase(link);
  entry->gone = true;
  nodes_.erase(path);
}

bool FakeV4l2Io::takeFailure(Failure& failure, int& error) {
  if (failure.remaining == 0) return false;
  error = failure.error;
  if (failure.remaining > 0) --failure.remaining;
  return true;
}

std::optional<std::string> FakeV4l2Io::resolveLink(const std::string& path) {
  // Component by component, as realpath does: every link met on the way is followed.
  std::deque<std::string> pending = splitPath(path);
  std::deque<std::string> done;
  int hops = 0;
  while (!pending.empty()) {
    const std::string part = pending.front();
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (!done.empty()) done.pop_back();
      continue;
    }
    done.push_back(part);
    const std::string current = joinPath(done);
    if (const auto link = links_.find(current); link != links_.end()) {
      if (++hops > kMaxLinkHops) {
        errno = ELOOP;
        return std::nullopt;
      }
      done.pop_back();
      if (!link->second.empty() && link->second.front() == '/') done.clear();
      auto target = splitPath(link->second);
      pending.insert(pending.begin(), target.begin(), target.end());
      continue;
    }
    if (nodes_.count(current) && !pending.empty()) {
      errno = ENOTDIR;
      return std::nullopt;
    }
    if (!nodes_.count(current) && !isDirectory(current)) {
      errno = ENOENT;
      return std::nullopt;
    }
  }
  return joinPath(done);
}

std::optional<std::vector<std::string>> FakeV4l2Io::listDirectory(const std::string& dir) {
  const auto resolved = resolveLink(dir);
  if (!resolved) return std::nullopt;
  if (!isDirectory(*resolved)) {
    errno = ENOTDIR;
    return std::nullopt;
  }
  std::set<std::string> names;
  const auto collect = [&](const std::string& path) {
    if (path != "/" && parentOf(path) == *resolved) names.insert(baseName(path));
  };
  for (const auto& entry : nodes_) collect(entry.first);
  for (const auto& entry : links_) collect(entry.first);
  for (const auto& entry : directories_) collect(entry);
  return std::vector<std::string>(names.begin(), names.end());
}

int FakeV4l2Io::open(const std::string& path, int /*flags*/) {
  const auto resolved = resolveLink(path);
  if (!resolved) return -1;
  if (isDirectory(*resolved)) {
    errno = EISDIR;
    return -1;
  }
  const auto node = presentNode(*resolved);
  int error = ENOENT;
  if (node && !takeFailure(node->openFailure, error)) error = 0;
  if (error != 0) {
    errno = error;
    return -1;
  }
  // Like the kernel, hand out the lowest free descriptor above the standard streams.
  int fd = 3;
  while (fds_.count(fd)) ++fd;
  fds_[fd] = node;
  return fd;
}

int FakeV4l2Io::close(int fd) {
  if (fds_.erase(fd) == 0) {
    errno = EBADF;
    return -1;
  }
  return 0;
}

int FakeV4l2Io::ioctl(int fd, unsigned long request, void* arg) {
  const auto it = fds_.find(fd);
  if (it == fds_.end()) {
    errno = EBADF;
    return -1;
  }
  Node& node = *it->second;
  int error = 0;
  if (!node.gone) {
    ++countsByPath_[node.path][request];
    if (node.ioctlsBeforeVanish == 0) {
      removeNode(node.path);
    } else if (node.ioctlsBeforeVanish > 0) {
      --node.ioctlsBeforeVanish;
    }
  }
  if (node.gone) {
    error = ENODEV;
  } else if (auto failure = node.ioctlFailures.find(request); failure != node.ioctlFailures.end()) {
    takeFailure(failure->second, error);
  }
  if (error == 0) error = arg ? dispatch(node.device, request, arg) : EFAULT;
  if (error == 0) return 0;
  errno = error;
  return -1;
}

int FakeV4l2Io::dispatch(FakeDevice& device, unsigned long request, void* arg) {
  switch (request) {
    case VIDIOC_QUERYCAP:
      return queryCapability(device, *static_cast<v4l2_capability*>(arg));
    case VIDIOC_ENUM_FMT:
      return enumFormat(device, *static_cast<v4l2_fmtdesc*>(arg));
    case VIDIOC_ENUM_FRAMESIZES:
      return enumFrameSize(device, *static_cast<v4l2_frmsizeenum*>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS:
      return enumFrameInterval(device, *static_cast<v4l2_frmivalenum*>(arg));
    case VIDIOC_G_FMT:
      return getFormat(device, *static_cast<v4l2_format*>(arg));
    case VIDIOC_S_FMT:
      return setFormat(device, *static_cast<v4l2_format*>(arg));
    case VIDIOC_G_PARM:
      return getParm(device, *static_cast<v4l2_streamparm*>(arg));
    case VIDIOC_S_PARM:
      return setParm(device, *static_cast<v4l2_streamparm*>(arg));
    case VIDIOC_QUERYCTRL:
      return queryControl(device, *static_cast<v4l2_queryctrl*>(arg));
    case VIDIOC_QUERY_EXT_CTRL:
      return queryExtControl(device, *static_cast<v4l2_query_ext_ctrl*>(arg));
    case VIDIOC_QUERYMENU:
      return queryMenu(device, *static_cast<v4l2_querymenu*>(arg));
    case VIDIOC_G_CTRL:
      return getControl(device, *static_cast<v4l2_control*>(arg));
    case VIDIOC_S_CTRL:
      return setControl(device, *static_cast<v4l2_control*>(arg));
    default:
      return ENOTTY;
  }
}

}  // namespace kovracam
