#pragma once
// JPEG files through libjpeg, from the snapshot's 24-bit bottom-up BGR picture.

#include <cstdint>
#include <vector>

namespace kovracam {

// At the encoder's defaults: quality 75, 4:2:0 chroma, baseline. Empty when encoding failed.
std::vector<std::uint8_t> encodeJpeg(const std::uint8_t* bits, int width, int height);

}  // namespace kovracam
