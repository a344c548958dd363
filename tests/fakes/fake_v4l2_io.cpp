// The fake kernel: its file system and descriptors; the device model answers the ioctls.

#include "tests/fakes/fake_v4l2_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kovracam {

FakeDevice fakeUvcCamera(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.formats = {
      {V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}, {}, {}},
      {V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}}}}, {}, {}}};
  return device;
}

FakeDevice fakeUvcMetadataNode(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  device.pixelFormat = V4L2_META_FMT_UVC;
  return device;
}

void FakeV4l2Io::addDevice(const std::string& node, FakeDevice device) {
  vanish(node);
  for (auto& control : device.controls) control.value = control.defaultValue;
  auto entry = std::make_shared<Node>();
  entry->path = node;
  entry->device = std::move(device);
  nodes_[node] = std::move(entry);
  tree_.addNode(node);
}

void FakeV4l2Io::addLink(const std::string& link, const std::string& target) {
  tree_.addLink(link, target);
}

void FakeV4l2Io::failIoctl(const std::string& node, unsigned long request, int error, int times) {
  if (nodes_.count(node)) nodes_[node]->ioctlFailures[request] = {error, times};
}

void FakeV4l2Io::failOpen(const std::string& node, int error) {
  if (nodes_.count(node)) nodes_[node]->openError = error;
}

void FakeV4l2Io::vanish(const std::string& node) {
  if (!nodes_.count(node)) return;
  tree_.removeNode(node);
  nodes_[node]->gone = true;
  nodes_.erase(node);
}

void FakeV4l2Io::vanishAfterIoctls(const std::string& node, int count) {
  if (nodes_.count(node)) nodes_[node]->ioctlsBeforeVanish = count;
}

FakeDevice* FakeV4l2Io::device(const std::string& node) {
  return nodes_.count(node) ? &nodes_[node]->device : nullptr;
}

int FakeV4l2Io::ioctlCount(const std::string& node, unsigned long request) const {
  const auto counts = counts_.find(node);
  return counts == counts_.end() || !counts->second.count(request) ? 0 : counts->second.at(request);
}

std::optional<std::string> FakeV4l2Io::resolveLink(const std::string& path) {
  return tree_.resolve(path);
}

std::optional<std::vector<std::string>> FakeV4l2Io::listDirectory(const std::string& dir) {
  return tree_.list(dir);
}

int FakeV4l2Io::open(const std::string& path, int /*flags*/) {
  const auto resolved = resolveLink(path);
  if (!resolved) return -1;
  const int error = !nodes_.count(*resolved) ? EISDIR : nodes_[*resolved]->openError;
  if (error != 0) {
    errno = error;
    return -1;
  }
  int fd = 3;  // like the kernel: the lowest free descriptor above the standard streams
  while (fds_.count(fd)) ++fd;
  fds_[fd] = nodes_[*resolved];
  return fd;
}

int FakeV4l2Io::close(int fd) {
  if (fds_.erase(fd) != 0) return 0;
  errno = EBADF;
  return -1;
}

int FakeV4l2Io::ioctl(int fd, unsigned long request, void* arg) {
  if (!fds_.count(fd)) {
    errno = EBADF;
    return -1;
  }
  Node& node = *fds_[fd];
  if (!node.gone) {
    ++counts_[node.path][request];
    if (node.ioctlsBeforeVanish-- == 0) vanish(node.path);
  }
  int error = node.gone ? ENODEV : 0;
  auto& [failure, times] = node.ioctlFailures[request];
  if (error == 0 && times != 0) {
    error = failure;
    if (times > 0) --times;
  }
  if (error == 0) error = v4l2sim::answer(node.device, request, arg);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

}  // namespace kovracam
