#include "view/snapshot_file.h"

#include "base/utf16.h"
#include "capture/pixel/pixel_conversion.h"

namespace kovracam {
namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;

bool sameLetters(const std::string& text, const char* lower) {
  if (text.size() != 3) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != lower[i] && c != lower[i] - ('a' - 'A')) return false;
  }
  return true;
}

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

SnapshotTarget snapshotTarget(const std::string& path, std::string_view separators) {
  const std::size_t lastSeparator = path.find_last_of(separators);
  const std::size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  const std::size_t dot = path.rfind('.');
  const std::string extension =
      dot == std::string::npos || dot < nameStart ? std::string() : path.substr(dot + 1);
  // Counted in characters, as the dialog's wide text counts them, not in UTF-8 bytes.
  if (utf16Length(extension) != 3) return {path, PictureFormat::Jpeg};
  if (sameLetters(extension, "jpg")) return {path, PictureFormat::Jpeg};
  if (sameLetters(extension, "bmp")) return {path, PictureFormat::Bmp};
  return {path + ".jpg", PictureFormat::Jpeg};
}

std::vector<std::uint8_t> encodeBmp(const std::uint8_t* bits, int width, int height) {
  const std::uint32_t imageBytes =
      static_cast<std::uint32_t>(rgb24Stride(width)) * static_cast<std::uint32_t>(height);
  const std::uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes;
  std::vector<std::uint8_t> out;
  out.reserve(offset + imageBytes);
  out.push_back('B');
  out.push_back('M');
  putLittleEndian(out, offset + imageBytes, 4);
  putLittleEndian(out, 0, 4);  // reserved
  putLittleEndian(out, offset, 4);
  putLittleEndian(out, kInfoHeaderBytes, 4);
  putLittleEndian(out, static_cast<std::uint32_t>(width), 4);
  putLittleEndian(out, static_cast<std::uint32_t>(height), 4);  // positive: bottom-up rows
  putLittleEndian(out, 1, 2);                                   // planes
  putLittleEndian(out, 24, 2);                                  // bits per pixel
  putLittleEndian(out, 0, 4);                                   // uncompressed
  putLittleEndian(out, imageBytes, 4);
  putLittleEndian(out, 0, 4);  // pixels per metre, x and y
  putLittleEndian(out, 0, 4);
  putLittleEndian(out, 0, 4);  // colours used, important
  putLittleEndian(out, 0, 4);
  out.insert(out.end(), bits, bits + imageBytes);
  return out;
}

}  // namespace kovracam
