#pragma once
// Snapshot pictures: which format a chosen file name gets, and the bytes of a BMP file made from a
// 24-bit picture whose rows run bottom-up in B, G, R order, each padded to 4 bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovracam {

enum class PictureFormat { Jpeg, Bmp };

struct SnapshotTarget {
  std::string path;  // where the picture goes: the chosen name, or it with ".jpg" appended
  PictureFormat format = PictureFormat::Jpeg;
};

// By the extension of the file name (after its last dot): "jpg" or "bmp" in any case keep the
// name; any other 3-letter extension gets ".jpg" appended; other lengths are JPEG as named. The
// file name starts after the last of `separators` ("\\/" where a backslash separates folders).
SnapshotTarget snapshotTarget(const std::string& path, std::string_view separators = "/");

std::vector<std::uint8_t> encodeBmp(const std::uint8_t* bits, int width, int height);

}  // namespace kovracam
