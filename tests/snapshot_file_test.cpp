// Snapshot files: the format a chosen name gets, and the BMP and JPEG bytes.

#include "view/snapshot_file.h"

#include <gtest/gtest.h>

#include <tuple>

// The Windows build encodes its JPEG files through the system's encoder instead.
#ifndef _WIN32
#include <jpeglib.h>

#include "view/linux/jpeg_encoder.h"
#endif

#include "capture/pixel/pixel_conversion.h"

namespace kovracam {
namespace {

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes = 4) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
  return v;
}

TEST(SnapshotTarget, FollowsTheExtensionOfTheFileName) {
  const struct {
    const char* chosen;
    const char* written;
    PictureFormat format;
  } cases[] = {
      {"a.jpg", "a.jpg", PictureFormat::Jpeg},
      {"/d/a.JpG", "/d/a.JpG", PictureFormat::Jpeg},
      {"a.BMP", "a.BMP", PictureFormat::Bmp},
      {"a.Bmp", "a.Bmp", PictureFormat::Bmp},
      {"a.png", "a.png.jpg", PictureFormat::Jpeg},
      {"a.bm", "a.bm", PictureFormat::Jpeg},
      {"a.jpeg", "a.jpeg", PictureFormat::Jpeg},
      {"a.\u00e9t\u00e9", "a.\u00e9t\u00e9.jpg", PictureFormat::Jpeg},  // 3 characters, 5 bytes
      {"a", "a", PictureFormat::Jpeg},
      {"a.", "a.", PictureFormat::Jpeg},
      {"x.bmp/pic", "x.bmp/pic", PictureFormat::Jpeg},
      {"x.y/a.b.bmp", "x.y/a.b.bmp", PictureFormat::Bmp}};
  for (const auto& c : cases) {
    const SnapshotTarget target = snapshotTarget(c.chosen);
    EXPECT_EQ(std::pair(target.path, target.format), std::pair(std::string(c.written), c.format));
  }
  // Where a backslash separates folders as well, as on Windows, "bc" has no extension.
  EXPECT_EQ(snapshotTarget("C:\\a.\\bc", "\\/").path, "C:\\a.\\bc");
  EXPECT_EQ(snapshotTarget("C:\\a.\\bc").path, "C:\\a.\\bc.jpg");
  EXPECT_EQ(snapshotTarget("C:\\x.y\\a.png", "\\/").path, "C:\\x.y\\a.png.jpg");
}

TEST(SnapshotBmp, HeadersDescribeBottomUpRowsPaddedToFourBytes) {
  const int width = 3, height = 2;  // 9 bytes of pixels, 3 of padding per row
  std::vector<std::uint8_t> bits(rgb24Stride(width) * height);
  for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<std::uint8_t>(i + 1);
  const auto file = encodeBmp(bits.data(), width, height);
  ASSERT_EQ(file.size(), 54u + 24u);
  // Offset, width in bytes, value: "BM", file size, pixel offset, info size, width, height
  // (positive: bottom-up), planes, bits, no compression, image size.
  const std::tuple<std::size_t, int, std::uint32_t> fields[] = {
      {0, 2, 0x4D42}, {2, 4, 78}, {10, 4, 54}, {14, 4, 40}, {18, 4, 3},
      {22, 4, 2},     {26, 2, 1}, {28, 2, 24}, {30, 4, 0},  {34, 4, 24}};
  for (const auto& [at, bytes, value] : fields) EXPECT_EQ(le(file, at, bytes), value) << at;
  EXPECT_TRUE(std::equal(bits.begin(), bits.end(), file.begin() + 54));
}

#ifndef _WIN32
TEST(SnapshotJpeg, BaselineQuality75WithTheTopRowFirst) {
  const int width = 17, height = 16;
  std::vector<std::uint8_t> bits(rgb24Stride(width) * height);
  // Bottom-up: the first 8 rows in memory are the picture's lower half, blue; the upper half red.
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bits.data() + row * rgb24Stride(width) + x * 3;
      p[0] = row < 8 ? 255 : 0;
      p[2] = row < 8 ? 0 : 255;
    }
  }
  const auto file = encodeJpeg(bits.data(), width, height);
  ASSERT_GT(file.size(), 4u);

  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), file.size());
  ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
  EXPECT_FALSE(info.progressive_mode);
  EXPECT_EQ(std::pair(info.comp_info[0].h_samp_factor, info.comp_info[0].v_samp_factor),
            std::pair(2, 2));                         // 4:2:0
  EXPECT_EQ(info.quant_tbl_ptrs[0]->quantval[0], 8);  // 16 scaled to quality 75
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  ASSERT_TRUE(info.output_width == 17u && info.output_height == 16u);
  std::vector<std::uint8_t> rgb(width * 3 * height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rgb.data() + info.output_scanline * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  EXPECT_GT(rgb[0], 200);                                                      // top-left red
  EXPECT_TRUE(rgb[(15 * width) * 3 + 2] > 200 && rgb[(15 * width) * 3] < 60);  // bottom-left blue
}

#endif

}  // namespace
}  // namespace kovracam
