#include "app/remote/WaveformEncoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>

#include "app/remote/ScpiResponse.h"

namespace lumatrace {

namespace {

// The code at the centre of the screen: 1024 codes span ten divisions.
constexpr int kCentreCode = 512;
constexpr std::uint8_t kNoByteSample = 0xFF;

}  // namespace

// Writes the samples of a record through `put`, one call per sample, with
// the loop specialised for lent words and for codes.
template <typename Put>
void ForEachCode(const RemoteRecord& record, Put put) {
    if (record.words.empty()) {
        for (const std::uint16_t code : record.codes) {
            put(code);
        }
        return;
    }
    const unsigned shift = record.shift;
    for (const std::uint32_t word : record.words) {
        put(static_cast<std::uint16_t>(word >> shift));
    }
}

namespace {

// The codes of lent words as little-endian 16-bit values.
void PackWordCodes(const std::uint32_t* __restrict words, std::size_t n, unsigned shift,
                   unsigned char* __restrict out) {
    std::size_t i = 0;
#if defined(__SSE2__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // Eight words at a time. The code is the low half of the shifted word;
    // moved to the top and back with the sign it becomes a signed 16-bit
    // value, which the saturating pack then keeps exactly. (The compiler's
    // own loop moves single bytes about and takes twice as long.)
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    for (; i + 8 <= n; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + i + 4));
        a = _mm_srai_epi32(_mm_slli_epi32(_mm_srl_epi32(a, count), 16), 16);
        b = _mm_srai_epi32(_mm_slli_epi32(_mm_srl_epi32(b, count), 16), 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < n; ++i) {
        const std::uint32_t code = (words[i] >> shift) & 0xFFFFu;
        out[2 * i] = static_cast<unsigned char>(code & 0xFF);
        out[2 * i + 1] = static_cast<unsigned char>(code >> 8);
    }
}

}  // namespace

// Binary formats are written straight into the response: the header first,
// as their length is known, then the samples in place, in memory not cleared
// before.
void AppendWaveformBlock(ScpiResponseMessage& out, const RemoteRecord& record,
                         RemoteWaveFormat format) {
    const std::size_t n = record.size();
    switch (format) {
        case RemoteWaveFormat::kWord: {
            out.Text() += DefiniteBlockHeader(n * 2);
            char* p = out.AppendForOverwrite(n * 2);
            if (!record.words.empty()) {
                // The common case, a channel's lent words: a loop the compiler
                // can vectorise (the per-sample byte writes of the general path
                // may alias the words and are not).
                PackWordCodes(record.words.data(), n, record.shift,
                              reinterpret_cast<unsigned char*>(p));
                break;
            }
            ForEachCode(record, [&p](std::uint16_t code) {
                *p++ = static_cast<char>(code & 0xFF);
                *p++ = static_cast<char>(code >> 8);
            });
            break;
        }
        case RemoteWaveFormat::kByte: {
            out.Text() += DefiniteBlockHeader(n);
            char* p = out.AppendForOverwrite(n);
            ForEachCode(record, [&p](std::uint16_t code) {
                *p++ = static_cast<char>(
                    code == kRemoteNoSample
                        ? kNoByteSample
                        : static_cast<std::uint8_t>(std::min(code >> 2, kNoByteSample - 1)));
            });
            break;
        }
        case RemoteWaveFormat::kAscii: {
            std::string text;
            text.reserve(n * 10);
            bool first = true;
            ForEachCode(record, [&](std::uint16_t code) {
                if (!first) {
                    text += ',';
                }
                first = false;
                if (code == kRemoteNoSample) {
                    text += "nan";
                } else {
                    text += FormatNr3((code - record.yOrigin) * record.yIncrement);
                }
            });
            AppendDefiniteBlock(out.Text(), text);
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
    text += ',' + FormatNr1(static_cast<std::int64_t>(record.size()));
    text += ',' + FormatNr3(record.xIncrement);
    text += ',' + FormatNr3(record.xOrigin);
    text += ',' + FormatNr3(yIncrement);
    text += ',' + FormatNr3(yOrigin);
    text += ',' + FormatNr1(yReference);
    return text;
}

}  // namespace lumatrace
