#include "view/linux/jpeg_encoder.h"

// jpeglib.h uses size_t and FILE without declaring them.
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>

#include "capture/pixel/pixel_conversion.h"

namespace kovracam {
namespace {

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

std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* bits, int width, int height) {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<std::uint8_t> out;
  if (compress(bits, width, height, &buffer, &size) && buffer) out.assign(buffer, buffer + size);
  std::free(buffer);
  return out;
}

}  // namespace kovracam
