#pragma once
// What checking a virtual-camera line needs from the platform: the Unicode class of an id's
// characters (letters of any script), and the patterns the platform's test source can paint.

#include <string>
#include <string_view>
#include <vector>

namespace kovracam {

class VirtualCameraPlatform {
 public:
  enum class CharacterKind { Letter, Mark, Other };

  virtual ~VirtualCameraPlatform() = default;
  // Letter for a letter of any script; Mark for a combining mark (spacing, enclosing or
  // non-spacing); Other for anything else.
  virtual CharacterKind kindOf(char32_t c) const = 0;
  // The pattern names the test source offers; nullptr when they cannot be known, and any name
  // passes then.
  virtual const std::vector<std::string>* patternNames() const = 0;
  // The test source as messages name it ("videotestsrc offers ...").
  virtual std::string_view patternSource() const = 0;
};

}  // namespace kovracam
