#include "device/firmware/SampleRenderer.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "device/firmware/FrontEnd.h"

namespace lumatrace::device {
namespace {

// Samples per pass over the signal terms: both channels' values stay in
// the first-level cache between rendering and packing.
constexpr std::size_t kBlock = 2048;

// quantise() of both channels, packed into sample words.
void pack(const double* a, const double* b, std::size_t m, uint32_t* out) {
    std::size_t k = 0;
#if defined(__SSE2__)
    // The same steps four words at a time: max(x, 0) gives 0 for NaN too,
    // and the conversion rounds in the current mode as quantise()'s
    // addition does (to nearest, ties to even).
    const __m128d zero = _mm_setzero_pd();
    const __m128d top = _mm_set1_pd(1023.0);
    for (; k + 4 <= m; k += 4) {
        const __m128i x0 = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(a + k), zero), top));
        const __m128i x1 =
            _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(a + k + 2), zero), top));
        const __m128i y0 = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(b + k), zero), top));
        const __m128i y1 =
            _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_loadu_pd(b + k + 2), zero), top));
        const __m128i x = _mm_unpacklo_epi64(x0, x1);
        const __m128i y = _mm_unpacklo_epi64(y0, y1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                         _mm_or_si128(x, _mm_slli_epi32(y, 16)));
    }
#endif
    for (; k < m; ++k)
        out[k] = quantise(a[k]) | (quantise(b[k]) << 16);
}

}  // namespace

SampleRenderer::SampleRenderer() : a_(kBlock), b_(kBlock) {}

void SampleRenderer::render(const std::vector<Epoch>& epochs, Picoseconds first, Picoseconds dt,
                            uint32_t index, uint32_t count, uint32_t* out) {
    // The signal model steps from one exactly computed instant through a
    // block of samples, and an edge that falls within rounding of a sample
    // may land on either side of it depending on where the steps began.
    // Blocks therefore begin at fixed indices of the grid (multiples of
    // kBlock, and the first sample of each epoch), however the grid is cut
    // into calls: a word is the same whichever call computes it.
    const uint32_t end = index + count;
    uint32_t i = index;
    while (i < end) {
        const Picoseconds t = first + static_cast<Picoseconds>(i) * dt;
        std::size_t e = 0;
        while (e + 1 < epochs.size() && epochs[e + 1].since <= t)
            ++e;
        auto firstIndexFrom = [&](Picoseconds since) {
            return since <= first ? Picoseconds{0} : (since - first + dt - 1) / dt;
        };
        uint32_t blockStart = i - i % kBlock;
        if (e > 0)
            blockStart =
                std::max(blockStart, static_cast<uint32_t>(firstIndexFrom(epochs[e].since)));
        Picoseconds blockEnd = (i / kBlock + 1) * Picoseconds{kBlock};
        if (e + 1 < epochs.size())
            blockEnd = std::min(blockEnd, firstIndexFrom(epochs[e + 1].since));
        const std::size_t m = static_cast<std::size_t>(blockEnd - blockStart);
        const Picoseconds t0 = first + static_cast<Picoseconds>(blockStart) * dt;
        epochs[e].channel[0]->render(t0, dt, m, a_.data());
        epochs[e].channel[1]->render(t0, dt, m, b_.data());
        const uint32_t stop = static_cast<uint32_t>(std::min<Picoseconds>(blockEnd, end));
        const std::size_t skip = i - blockStart;
        pack(a_.data() + skip, b_.data() + skip, stop - i, out + (i - index));
        i = stop;
    }
}

}  // namespace lumatrace::device
