#include "app/settings/BmpWriter.h"

#include <limits>

namespace lumatrace {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

}  // namespace

std::uint32_t BmpRowBytes(int width) {
    return (static_cast<std::uint32_t>(width) * 3u + 3u) & ~3u;
}

std::optional<std::vector<std::uint8_t>> EncodeBmp(const ImagePixels& image) {
    if (!image.Valid()) {
        return std::nullopt;
    }
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(image.width) * 3u + 3u) & ~3ull;
    const std::uint64_t dataBytes = rowBytes * static_cast<std::uint64_t>(image.height);
    const std::uint64_t offset = kBmpFileHeaderSize + kBmpInfoHeaderSize;
    if (offset + dataBytes > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(offset + dataBytes));
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<std::uint32_t>(offset + dataBytes));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, static_cast<std::uint32_t>(offset));
    // BITMAPINFOHEADER
    Put32(out, kBmpInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(image.width));
    Put32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
    Put16(out, 1);                                         // planes
    Put16(out, 24);                                        // bits per pixel
    Put32(out, 0);                                         // BI_RGB
    Put32(out, static_cast<std::uint32_t>(dataBytes));
    Put32(out, static_cast<std::uint32_t>(kBmpPixelsPerMeter));
    Put32(out, static_cast<std::uint32_t>(kBmpPixelsPerMeter));
    Put32(out, 0);  // colours used
    Put32(out, 0);  // important colours

    const std::size_t pad = static_cast<std::size_t>(rowBytes) - 3u * image.width;
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            out.push_back(static_cast<std::uint8_t>(p));
            out.push_back(static_cast<std::uint8_t>(p >> 8));
            out.push_back(static_cast<std::uint8_t>(p >> 16));
        }
        out.insert(out.end(), pad, 0);
    }
    return out;
}

}  // namespace lumatrace
