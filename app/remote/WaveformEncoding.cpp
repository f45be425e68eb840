#include "app/remote/WaveformEncoding.h"

#include <algorithm>

#include "app/remote/ScpiResponse.h"

namespace lumatrace {

namespace {

// The code at the centre of the screen: 1024 codes span ten divisions.
constexpr int kCentreCode = 512;
constexpr std::uint8_t kNoByteSample = 0xFF;

}  // namespace

// Binary formats are written straight into the response: the header first,
// as their length is known, then the samples in place.
void AppendWaveformBlock(std::string& out, const RemoteRecord& record, RemoteWaveFormat format) {
    const auto& codes = record.codes;
    switch (format) {
        case RemoteWaveFormat::kWord: {
            const std::string header = DefiniteBlockHeader(codes.size() * 2);
            // Room for the response's newline too: no second copy to add it.
            out.reserve(out.size() + header.size() + codes.size() * 2 + 1);
            out += header;
            const std::size_t start = out.size();
            out.resize(start + codes.size() * 2);
            char* p = out.data() + start;
            for (const std::uint16_t code : codes) {
                *p++ = static_cast<char>(code & 0xFF);
                *p++ = static_cast<char>(code >> 8);
            }
            break;
        }
        case RemoteWaveFormat::kByte: {
            const std::string header = DefiniteBlockHeader(codes.size());
            out.reserve(out.size() + header.size() + codes.size() + 1);
            out += header;
            const std::size_t start = out.size();
            out.resize(start + codes.size());
            char* p = out.data() + start;
            for (const std::uint16_t code : codes) {
                const std::uint8_t b =
                    code == kRemoteNoSample
                        ? kNoByteSample
                        : static_cast<std::uint8_t>(std::min(code >> 2, kNoByteSample - 1));
                *p++ = static_cast<char>(b);
            }
            break;
        }
        case RemoteWaveFormat::kAscii: {
            std::string text;
            text.reserve(codes.size() * 10);
            for (std::size_t i = 0; i < codes.size(); ++i) {
                if (i > 0) {
                    text += ',';
                }
                if (codes[i] == kRemoteNoSample) {
                    text += "nan";
                } else {
                    text += FormatNr3((codes[i] - record.yOrigin) * record.yIncrement);
                }
            }
            AppendDefiniteBlock(out, text);
            break;
        }
    }
}

std::string FormatPreamble(const RemoteRecord& record, RemoteWaveFormat format) {
    const bool bytes = format == RemoteWaveFormat::kByte;
    const double yIncrement = bytes ? record.yIncrement * 4.0 : record.yIncrement;
    const double yOrigin = bytes ? record.yOrigin / 4.0 : record.yOrigin;
    const int yReference = bytes ? kCentreCode / 4 : kCentreCode;
    std::string text = FormatNr1(static_cast<int>(format));
    text += ',' + FormatNr1(static_cast<std::int64_t>(record.codes.size()));
    text += ',' + FormatNr3(record.xIncrement);
    text += ',' + FormatNr3(record.xOrigin);
    text += ',' + FormatNr3(yIncrement);
    text += ',' + FormatNr3(yOrigin);
    text += ',' + FormatNr1(yReference);
    return text;
}

}  // namespace lumatrace
