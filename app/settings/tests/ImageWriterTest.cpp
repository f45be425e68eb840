#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "app/settings/BmpWriter.h"
#include "app/settings/JpegWriter.h"

namespace lumatrace {
namespace {

std::uint32_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A small picture whose every pixel differs, stored with a stride wider
// than its rows so a writer that ignores the stride reads the wrong pixels.
struct TestPicture {
    int width, height;
    std::size_t stride;
    std::vector<std::uint32_t> words;

    TestPicture(int w, int h) : width(w), height(h), stride(w + 2), words(stride * h, 0xDEADBEEF) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                words[y * stride + x] = 0xFF000000u | (x * 40u << 16) | (y * 50u << 8) | (x + y);
            }
        }
    }
    ImagePixels View() const { return {width, height, stride, words.data()}; }
};

TEST(BmpWriter, HeadersFieldByField) {
    const TestPicture pic(3, 2);
    const auto bytes = EncodeBmp(pic.View());
    ASSERT_TRUE(bytes);
    const auto& b = *bytes;
    const std::uint32_t rowBytes = 12;  // 9 bytes of pixels padded to 12
    ASSERT_EQ(b.size(), 54u + rowBytes * 2);
    // BITMAPFILEHEADER
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), b.size());
    EXPECT_EQ(U16(b, 6), 0u);
    EXPECT_EQ(U16(b, 8), 0u);
    EXPECT_EQ(U32(b, 10), 54u);
    // BITMAPINFOHEADER
    EXPECT_EQ(U32(b, 14), 40u);
    EXPECT_EQ(U32(b, 18), 3u);
    EXPECT_EQ(U32(b, 22), 2u);  // positive height: rows stored bottom-up
    EXPECT_EQ(U16(b, 26), 1u);
    EXPECT_EQ(U16(b, 28), 24u);
    EXPECT_EQ(U32(b, 30), 0u);  // BI_RGB
    EXPECT_EQ(U32(b, 34), rowBytes * 2);
    EXPECT_EQ(U32(b, 38), 3780u);
    EXPECT_EQ(U32(b, 42), 3780u);
    EXPECT_EQ(U32(b, 46), 0u);
    EXPECT_EQ(U32(b, 50), 0u);
}

TEST(BmpWriter, RowsAreBottomUpBlueGreenRedAndPadded) {
    const TestPicture pic(3, 2);
    const auto b = *EncodeBmp(pic.View());
    for (int y = 0; y < 2; ++y) {
        const std::size_t row = 54 + static_cast<std::size_t>(1 - y) * 12;
        for (int x = 0; x < 3; ++x) {
            const std::uint32_t p = pic.words[y * pic.stride + x];
            EXPECT_EQ(b[row + 3 * x], p & 0xFF) << x << "," << y;
            EXPECT_EQ(b[row + 3 * x + 1], (p >> 8) & 0xFF);
            EXPECT_EQ(b[row + 3 * x + 2], (p >> 16) & 0xFF);
        }
        EXPECT_EQ(b[row + 9], 0);
        EXPECT_EQ(b[row + 10], 0);
        EXPECT_EQ(b[row + 11], 0);
    }
}

TEST(BmpWriter, RowLengthsArePaddedToFourBytes) {
    const struct {
        int width;
        std::uint32_t bytes;
    } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {600, 1800}, {601, 1804}};
    for (const auto& k : cases) {
        EXPECT_EQ(BmpRowBytes(k.width), k.bytes) << k.width;
    }
}

TEST(ImageWriters, RefuseInvalidPictures) {
    const std::uint32_t one = 0;
    const ImagePixels invalid[] = {
        {0, 1, 1, &one}, {1, 0, 1, &one}, {1, 1, 1, nullptr}, {2, 1, 1, &one}};
    for (const ImagePixels& v : invalid) {
        EXPECT_FALSE(EncodeBmp(v));
        std::string error;
        EXPECT_FALSE(EncodeJpeg(v, &error));
        EXPECT_FALSE(error.empty());
    }
}

// Reads the picture size from the frame header and the first luminance
// quantisation value, which tells the quality the encoder used.
struct JpegFacts {
    int width = 0, height = 0, components = 0;
    int firstQuant = -1;
};
JpegFacts ParseJpeg(const std::vector<std::uint8_t>& b) {
    JpegFacts f;
    std::size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF) {
        const int marker = b[i + 1];
        const std::size_t len = (b[i + 2] << 8) | b[i + 3];
        if (marker == 0xDB && f.firstQuant < 0) {
            f.firstQuant = b[i + 5];
        }
        if (marker == 0xC0) {
            f.height = (b[i + 5] << 8) | b[i + 6];
            f.width = (b[i + 7] << 8) | b[i + 8];
            f.components = b[i + 9];
        }
        if (marker == 0xDA) {
            break;
        }
        i += 2 + len;
    }
    return f;
}

TEST(JpegWriter, WritesABaselineFileWithTheEncoderDefaults) {
    const TestPicture pic(37, 21);
    std::string error;
    const auto bytes = EncodeJpeg(pic.View(), &error);
    ASSERT_TRUE(bytes) << error;
    const auto& b = *bytes;
    ASSERT_GT(b.size(), 4u);
    EXPECT_EQ(b[0], 0xFF);
    EXPECT_EQ(b[1], 0xD8);
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b[b.size() - 1], 0xD9);
    const JpegFacts f = ParseJpeg(b);
    EXPECT_EQ(f.width, 37);
    EXPECT_EQ(f.height, 21);
    EXPECT_EQ(f.components, 3);
    // Quality 75 scales the standard table's 16 to 8.
    EXPECT_EQ(f.firstQuant, 8);
}

TEST(JpegWriter, ReportsTheLibrarysRefusal) {
    // Wider than the format's 65,500 pixels: the library raises its error,
    // which must come back as a failure rather than end the program.
    std::vector<std::uint32_t> row(70000, 0);
    std::string error;
    EXPECT_FALSE(EncodeJpeg({70000, 1, row.size(), row.data()}, &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace lumatrace
