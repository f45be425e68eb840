// Windows bitmap files of our own making: no image library decides the
// layout, so the bytes are the same on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/settings/ImagePixels.h"

namespace lumatrace {

// Header sizes and the fixed fields of the files written.
inline constexpr std::uint32_t kBmpFileHeaderSize = 14;
inline constexpr std::uint32_t kBmpInfoHeaderSize = 40;
// 96 dots per inch, the resolution the pictures are drawn for.
inline constexpr std::int32_t kBmpPixelsPerMeter = 3780;

// Byte count of one stored row: three bytes a pixel, padded to four.
std::uint32_t BmpRowBytes(int width);

// The whole file: BITMAPFILEHEADER, BITMAPINFOHEADER (24 bits a pixel,
// uncompressed, bottom-up rows, no palette), then the rows in blue, green,
// red order. nullopt for an invalid view or a picture too large for the
// format's 32-bit sizes.
std::optional<std::vector<std::uint8_t>> EncodeBmp(const ImagePixels& image);

}  // namespace lumatrace
