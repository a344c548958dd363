// The UTF-8 / UTF-16 conversions: whatever converts converts back unchanged, lengths agree, and
// a cut text is the longest prefix that fits.

#include <cstdint>

#include "base/utf16.h"
#include "tests/fuzz/fuzz_check.h"

using namespace kovracam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t maxUnits = data[0] % 81;  // the first byte picks the limit
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const auto units = utf8ToUtf16(text);
  const auto codePoints = utf8ToUtf32(text);
  FUZZ_CHECK(codePoints.has_value() == units.has_value());
  if (units) {
    FUZZ_CHECK(utf16Length(text) == units->size() && utf16ToUtf8(*units) == text);
  }
  const std::string cut = truncateToUtf16Units(text, maxUnits);
  const std::size_t cutUnits = utf16Length(cut);
  FUZZ_CHECK(text.compare(0, cut.size(), cut) == 0 && cutUnits <= maxUnits);
  // No character takes more than two units, so a shorter cut left one out.
  FUZZ_CHECK(cut.size() == text.size() || cutUnits + 2 > maxUnits);
  if (units) {
    const auto cutWide = utf8ToUtf16(cut);
    FUZZ_CHECK(cutWide && units->compare(0, cutWide->size(), *cutWide) == 0);
  }

  // The same bytes read as UTF-16LE code units.
  std::u16string wide(text.size() / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<std::uint8_t>(text[2 * i]) |
                                    static_cast<std::uint8_t>(text[2 * i + 1]) << 8);
  }
  if (const auto narrow = utf16ToUtf8(wide)) {
    FUZZ_CHECK(utf8ToUtf16(*narrow) == wide && utf16Length(*narrow) == wide.size());
  }
  return 0;
}
