#include "base/utf16.h"

namespace kovracam {

namespace {

// One decoded UTF-8 sequence: the code point and how many bytes it took. A bad sequence is
// reported as a single byte so that callers can step over it.
struct Decoded {
  char32_t codePoint = 0;
  std::size_t bytes = 1;
  bool valid = false;
};

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Lead byte forms of multi-byte sequences: the bits that mark the form, the sequence length and
// the smallest value the form may carry (anything smaller is an overlong encoding).
struct LeadForm {
  unsigned char mask;
  unsigned char marker;
  std::size_t length;
  char32_t smallest;
};
constexpr LeadForm kLeadForms[] = {
    {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};

Decoded decodeAt(const std::string& s, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  if (lead < 0x80) return {lead, 1, true};

  const LeadForm* form = nullptr;
  for (const LeadForm& f : kLeadForms) {
    if ((lead & f.mask) == f.marker) form = &f;
  }
  // A stray continuation byte or a lead byte no encoding uses.
  if (form == nullptr) return {};
  const std::size_t length = form->length;
  char32_t value = lead & static_cast<unsigned char>(~form->mask);
  if (s.size() - pos < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(s[pos + i]);
    if (!isContinuation(c)) return {};
    value = (value << 6) | (c & 0x3F);
  }
  // Overlong forms, UTF-16 surrogates and values past the Unicode range are not characters.
  if (value < form->smallest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return {};
  return {value, length, true};
}

std::size_t unitsOf(char32_t codePoint) { return codePoint >= 0x10000 ? 2 : 1; }

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::optional<std::u32string> utf8ToUtf32(const std::string& utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded d = decodeAt(utf8, pos);
    if (!d.valid) return std::nullopt;
    out += d.codePoint;
    pos += d.bytes;
  }
  return out;
}

std::optional<std::u16string> utf8ToUtf16(const std::string& utf8) {
  const auto codePoints = utf8ToUtf32(utf8);
  if (!codePoints) return std::nullopt;
  std::u16string out;
  out.reserve(codePoints->size());
  for (const char32_t cp : *codePoints) {
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      out += static_cast<char16_t>(0xD800 + (v >> 10));
      out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::optional<std::string> utf16ToUtf8(const std::u16string& utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t u = utf16[i];
    if (isLowSurrogate(u)) return std::nullopt;
    if (!isHighSurrogate(u)) {
      appendUtf8(out, u);
      continue;
    }
    if (i + 1 >= utf16.size() || !isLowSurrogate(utf16[i + 1])) return std::nullopt;
    const char16_t low = utf16[++i];
    appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (low - 0xDC00)));
  }
  return out;
}

std::size_t utf16Length(const std::string& utf8) {
  std::size_t units = 0;
  for (std::size_t pos = 0; pos < utf8.size();) {
    const Decoded d = decodeAt(utf8, pos);
    units += d.valid ? unitsOf(d.codePoint) : 1;
    pos += d.bytes;
  }
  return units;
}

std::string truncateToUtf16Units(const std::string& utf8, std::size_t maxUnits) {
  std::size_t units = 0;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const Decoded d = decodeAt(utf8, pos);
    const std::size_t next = d.valid ? unitsOf(d.codePoint) : 1;
    if (units + next > maxUnits) break;
    units += next;
    pos += d.bytes;
  }
  return utf8.substr(0, pos);
}

}  // namespace kovracam
