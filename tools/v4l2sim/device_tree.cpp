#include "tools/v4l2sim/device_tree.h"

#include <algorithm>
#include <cerrno>

namespace kovracam::v4l2sim {
namespace {

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

std::string normalisePath(const std::string& path) {
  std::vector<std::string> parts;
  for (std::size_t start = 0, end = 0; start < path.size(); start = end + 1) {
    end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == ".." && !parts.empty()) parts.pop_back();
    if (part != ".." && part != "." && !part.empty()) parts.push_back(part);
  }
  std::string out;
  for (const auto& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

void DeviceTree::addNode(const std::string& node) { nodes_.insert(node); }

void DeviceTree::removeNode(const std::string& node) {
  if (!nodes_.count(node)) return;
  std::vector<std::string> stale;
  for (const auto& link : links_) {
    if (resolve(link.first) == node) stale.push_back(link.first);
  }
  for (const auto& link : stale) links_.erase(link);
  nodes_.erase(node);
}

void DeviceTree::addLink(const std::string& link, const std::string& target) {
  links_[link] = target;
}

bool DeviceTree::hasNode(const std::string& path) const { return nodes_.count(path) != 0; }

bool DeviceTree::isDirectory(const std::string& path) const {
  const int saved = errno;
  const bool directory = list(path).has_value();
  errno = saved;
  return directory;
}

std::optional<std::string> DeviceTree::linkTarget(const std::string& path) const {
  const auto link = links_.find(normalisePath(path));
  if (link == links_.end()) return std::nullopt;
  return link->second;
}

std::optional<std::string> DeviceTree::resolve(const std::string& path) const {
  std::string current = normalisePath(path);
  for (int hops = 0; links_.count(current); ++hops) {
    if (hops == 40) {  // the kernel's limit
      errno = ELOOP;
      return std::nullopt;
    }
    const std::string& target = links_.at(current);
    current = normalisePath(target.starts_with('/') ? target : parentOf(current) + "/" + target);
  }
  if (!nodes_.count(current) && !isDirectory(current)) {
    errno = ENOENT;
    return std::nullopt;
  }
  return current;
}

std::optional<std::vector<std::string>> DeviceTree::list(const std::string& dir) const {
  const std::string prefix = normalisePath(dir + "/.") + "/";
  std::set<std::string> names;
  const auto collect = [&](const std::string& path) {
    const std::size_t end = path.find('/', prefix.size());
    if (path.starts_with(prefix)) names.insert(path.substr(prefix.size(), end - prefix.size()));
  };
  for (const auto& node : nodes_) collect(node);
  for (const auto& link : links_) collect(link.first);
  if (names.empty() && prefix != "/dev/") {
    errno = nodes_.count(normalisePath(dir)) ? ENOTDIR : ENOENT;
    return std::nullopt;
  }
  return std::vector<std::string>(names.begin(), names.end());
}

}  // namespace kovracam::v4l2sim
