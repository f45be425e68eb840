// The AVX2 and AVX-512 builds of WidenCodeRange (TraceColumns.h); call each only where the CPU
// runs it.
#pragma once

#include <cstddef>

#include "app/display/SampleWord.h"

namespace lumatrace {

namespace avx2 {
void WidenAvx2(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi);
}  // namespace avx2

namespace avx512 {
void WidenAvx512(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi);
}  // namespace avx512

}  // namespace lumatrace
