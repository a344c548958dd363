#include "view/linux/device_choice_file.h"

#include <cstdint>
#include <ostream>
#include <vector>

#include "base/linux/regular_file.h"
#include "view/linux/atomic_file.h"

namespace kovracam {

namespace {

std::string pathIn(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

}  // namespace

std::optional<std::string> readDeviceChoice(const std::string& directory, std::ostream& warnings) {
  const std::string path = pathIn(directory, kDeviceChoiceFileName);
  // Anything after the longest name we write is never read.
  const FileRead file = readRegularFile(path, kDeviceChoiceMaxBytes);
  if (file.outcome == FileRead::Outcome::NotRegular || file.outcome == FileRead::Outcome::Failed) {
    warnings << "kovracam: " << path << " ignored: " << file.what << "\n";
  }
  if (file.outcome != FileRead::Outcome::Read) return std::nullopt;
  return decodeDeviceChoice(reinterpret_cast<const std::uint8_t*>(file.bytes.data()),
                            file.bytes.size());
}

bool writeDeviceChoice(const std::string& directory, const std::string& displayName,
                       std::string* reason) {
  const std::vector<std::uint8_t> bytes = encodeDeviceChoice(displayName);
  if (bytes.empty()) {
    if (reason) *reason = "the name is not valid text";
    return false;
  }
  return writeFileAtomically(pathIn(directory, kDeviceChoiceFileName), bytes.data(), bytes.size(),
                             reason);
}

}  // namespace kovracam
