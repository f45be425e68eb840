// Feeds arbitrary bytes to the parameter-file reader and to the component
// stream reader. Whatever decodes must encode again and decode to the same
// values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/settings/ComponentStream.h"
#include "app/settings/ParamFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);

    const lumatrace::ParamDecodeResult decoded = lumatrace::DecodeParamFile(bytes);
    if (decoded.ok && decoded.snapshot.fftVScaleIndex &&
        decoded.snapshot.Control(lumatrace::ParamControl::GroupBoxVert)) {
        // A complete (2.1 or later) file: writing it and reading it back keeps
        // every value the program uses.
        const auto encoded = lumatrace::EncodeParamFile(decoded.snapshot);
        if (encoded) {
            const lumatrace::ParamDecodeResult again = lumatrace::DecodeParamFile(*encoded);
            if (!again.ok) {
                std::abort();
            }
            lumatrace::ParamSnapshot expected = decoded.snapshot;
            expected.version = lumatrace::ParamFileVersion();
            if (!(again.snapshot == expected)) {
                std::abort();
            }
        }
    }

    const lumatrace::TpfReadResult record = lumatrace::ReadTpfRecord(bytes);
    if (record.ok) {
        std::vector<std::uint8_t> out;
        if (!lumatrace::AppendTpfRecord(out, record.component)) {
            std::abort();
        }
        const lumatrace::TpfReadResult again = lumatrace::ReadTpfRecord(out);
        if (!again.ok || !(again.component == record.component) || again.consumed != out.size()) {
            std::abort();
        }
    }
    return 0;
}
