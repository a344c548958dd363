#include "lang/linux/module_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/linux/file_descriptor.h"
#include "lang/module_name.h"

namespace kovracam {
namespace {

// Why code in a file with these attributes must not be run, or nullptr when it may.
const char* plantingRisk(const struct stat& st) {
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return "writable by group or others";
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return "owned by another user";
  return nullptr;
}

// The folder's entry names in byte order, "." and ".." left out.
std::vector<std::string> sortedNames(int folderFd) {
  std::vector<std::string> names;
  const int listFd = ::dup(folderFd);
  if (listFd < 0) return names;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());  // char_traits<char> compares as unsigned bytes
  return names;
}

// Checks one candidate through a descriptor, then loads it by name and makes sure the loaded
// file is the file checked. (Loading through /proc/self/fd would be free of the race, but the
// loader takes a name it has seen before for the object it loaded then.)
std::unique_ptr<LanguageModule> openCandidate(int folderFd, const std::filesystem::path& path,
                                              std::ostream& warnings) {
  FileDescriptor fd(::openat(folderFd, path.filename().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return nullptr;
  const char* risk = S_ISREG(st.st_mode) ? plantingRisk(st) : "not a regular file";
  if (risk) {
    warnings << "kovracam: language module " << path.string() << " skipped: " << risk << "\n";
    return nullptr;
  }
  auto module = LanguageModule::open(path);
  struct stat loaded {};
  if (module && (::stat(path.c_str(), &loaded) != 0 || loaded.st_dev != st.st_dev ||
                 loaded.st_ino != st.st_ino)) {
    warnings << "kovracam: language module " << path.string()
             << " skipped: replaced while loading\n";
    return nullptr;
  }
  return module;
}

}  // namespace

std::unique_ptr<LanguageModule> chooseLanguageModule(const std::filesystem::path& folder,
                                                     std::optional<std::uint16_t> langId,
                                                     std::ostream& warnings) {
  FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (folderFd.get() < 0 || ::fstat(folderFd.get(), &st) != 0) return nullptr;
  if (const char* risk = plantingRisk(st)) {
    warnings << "kovracam: language folder " << folder.string() << " skipped: " << risk << "\n";
    return nullptr;
  }
  for (const std::string& name : sortedNames(folderFd.get())) {
    if (!hasModuleName(name)) continue;
    auto module = openCandidate(folderFd.get(), folder / name, warnings);
    if (!module) continue;
    const std::optional<std::uint32_t> id = module->languageId();
    if (id && langId && *id == *langId) return module;
  }
  return nullptr;
}

}  // namespace kovracam
