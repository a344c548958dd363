#pragma once
// The names under /dev that video devices bring: their nodes and the udev links to them in
// /dev/v4l. Paths are absolute; a directory is /dev or any path above a node or a link.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kovracam::v4l2sim {

// "/dev/v4l/by-id/../../video0" -> "/dev/video0". Lexical: no directory here is a link.
std::string normalisePath(const std::string& path);

class DeviceTree {
 public:
  void addNode(const std::string& node);
  // Removes the node and, as udev does, every link that led to it.
  void removeNode(const std::string& node);
  // A symbolic link; a relative target is taken from the link's directory.
  void addLink(const std::string& link, const std::string& target);

  bool hasNode(const std::string& path) const;
  bool isDirectory(const std::string& path) const;
  // The target of the link as written; nullopt when the path is no link.
  std::optional<std::string> linkTarget(const std::string& path) const;
  // The node or directory a path finally names; nullopt with errno set (ENOENT, ELOOP).
  std::optional<std::string> resolve(const std::string& path) const;
  // Entry names of a directory, sorted; nullopt with errno set (ENOENT, ENOTDIR).
  std::optional<std::vector<std::string>> list(const std::string& dir) const;

 private:
  std::set<std::string> nodes_;
  std::map<std::string, std::string> links_;  // link path -> target as written
};

}  // namespace kovracam::v4l2sim
