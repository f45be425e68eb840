// JPEG encoding of exported pictures through libjpeg, with the encoder's
// default settings (its default quality and chroma subsampling).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/ImagePixels.h"

namespace lumatrace {

// The whole JFIF file, or nullopt with `error` set to the library's message
// when the encoder refuses the picture (an invalid view, a size beyond the
// format's 65,500 pixels a side).
std::optional<std::vector<std::uint8_t>> EncodeJpeg(const ImagePixels& image,
                                                    std::string* error = nullptr);

}  // namespace lumatrace
