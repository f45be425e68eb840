#include "app/settings/JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern "C" {
#include <jpeglib.h>
}

namespace lumatrace {
namespace {

// libjpeg's own error handler ends the process; this one returns to the
// encoder call instead, keeping the library's message.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void ExitToCaller(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void DiscardMessage(j_common_ptr) {}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeJpeg(const ImagePixels& image, std::string* error) {
    if (!image.Valid()) {
        if (error) {
            *error = "invalid picture";
        }
        return std::nullopt;
    }

    // Everything the encoder writes lives behind a pointer set before
    // setjmp, so its contents are well defined after a jump back here.
    struct Session {
        jpeg_compress_struct cinfo{};
        ErrorManager err{};
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        std::vector<JSAMPLE> row;
    };
    const auto session = std::make_unique<Session>();
    session->row.resize(static_cast<std::size_t>(image.width) * 3u);
    session->cinfo.err = jpeg_std_error(&session->err.base);
    session->err.base.error_exit = ExitToCaller;
    session->err.base.output_message = DiscardMessage;
    if (setjmp(session->err.jump)) {
        jpeg_destroy_compress(&session->cinfo);
        std::free(session->buffer);
        if (error) {
            *error = session->err.message;
        }
        return std::nullopt;
    }

    // Locals that alias the session are made after setjmp, so a jump back
    // never finds them half-updated.
    jpeg_compress_struct& cinfo = session->cinfo;
    JSAMPLE* const row = session->row.data();
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &session->buffer, &session->size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.At(x, y);
            row[3u * x] = static_cast<JSAMPLE>(p >> 16);
            row[3u * x + 1] = static_cast<JSAMPLE>(p >> 8);
            row[3u * x + 2] = static_cast<JSAMPLE>(p);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);

    std::vector<std::uint8_t> out(session->buffer, session->buffer + session->size);
    std::free(session->buffer);
    return out;
}

}  // namespace lumatrace
