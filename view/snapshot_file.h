#pragma once
// Snapshot pictures: which format a chosen file name gets, and the bytes of a JPEG or BMP file
// made from a 24-bit picture whose rows run bottom-up in B, G, R order, each padded to 4 bytes.

#include <cstdint>
#include <string>
#include <vector>

namespace kovracam {

enum class PictureFormat { Jpeg, Bmp };

struct SnapshotTarget {
  std::string path;  // where the picture goes: the chosen name, or it with ".jpg" appended
  PictureFormat format = PictureFormat::Jpeg;
};

// By the extension of the file name (after its last dot): "jpg" or "bmp" in any case keep the
// name; any other 3-letter extension gets ".jpg" appended; other lengths are JPEG as named.
SnapshotTarget snapshotTarget(const std::string& path);

std::vector<std::uint8_t> encodeBmp(const std::uint8_t* bits, int width, int height);
// At the encoder's defaults: quality 75, 4:2:0 chroma, baseline. Empty when encoding failed.
std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* bits, int width, int height);

}  // namespace kovracam
