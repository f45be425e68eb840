// A read-only view of a 32-bit RGB picture, as the image writers take it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumatrace {

// Pixels are 0xAARRGGBB words (the alpha byte is ignored), rows top to
// bottom, `stride` words from one row's start to the next.
struct ImagePixels {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    const std::uint32_t* pixels = nullptr;

    std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)];
    }
    // A view that can be walked without reading outside its buffer.
    bool Valid() const {
        return width > 0 && height > 0 && pixels != nullptr &&
               stride >= static_cast<std::size_t>(width);
    }
};

}  // namespace lumatrace
