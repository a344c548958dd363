#include "view/snapshot_file.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include "capture/pixel/pixel_conversion.h"

namespace kovracam {
namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;

bool sameLetters(const std::string& text, const char* lower) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != lower[i] && c != lower[i] - ('a' - 'A')) return false;
  }
  return true;
}

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// libjpeg reports fatal errors through error_exit, which must not return.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf escape;
};

void leaveEncoder(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->escape, 1);
}

// Kept free of C++ objects with destructors: a longjmp out of libjpeg skips them.
bool compress(const std::uint8_t* bits, int width, int height, unsigned char** out,
              unsigned long* size) {
  jpeg_compress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = leaveEncoder;
  if (setjmp(errors.escape)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = rgb24Stride(width);
  while (info.next_scanline < info.image_height) {
    // The picture's last row in memory is the top of the image.
    JSAMPROW row = const_cast<JSAMPROW>(bits + (height - 1 - info.next_scanline) * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

SnapshotTarget snapshotTarget(const std::string& path) {
  const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
  const std::size_t dot = path.rfind('.');
  const std::string extension =
      dot == std::string::npos || dot < nameStart ? std::string() : path.substr(dot + 1);
  if (extension.size() != 3) return {path, PictureFormat::Jpeg};
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

std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* bits, int width, int height) {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> out;
  if (compress(bits, width, height, &buffer, &size) && buffer) out.assign(buffer, buffer + size);
  std::free(buffer);
  return out;
}

}  // namespace kovracam
