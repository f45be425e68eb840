// The inner loops of the averaging step, built for several instruction sets, and the choice
// among them at run time (the program is built for the plain x86-64 baseline).
#pragma once

#include <cstdint>

#include "app/display/SampleWord.h"

namespace lumatrace {

inline constexpr SampleWord kCodePairMask = 0x03FF03FFu;

// Division by the divisor d (1..512) of the sums (below 2^19) as a multiplication:
// floor(x * M / 2^29) with M = floor(2^29 / d) + 1 equals floor(x / d), because the excess
// x * (M * d - 2^29) stays below 2^28 and so can never reach the next multiple of d.
inline constexpr int kDivShift = 29;
constexpr std::uint64_t DivMagic(int d) {
    return (std::uint64_t{1} << kDivShift) / static_cast<std::uint64_t>(d) + 1;
}

// What one averaging step over a block of points works on.
struct AverageRows {
    SampleWord* record = nullptr;
    std::uint32_t* row = nullptr;          // the ring row of this record's slot
    const std::uint32_t* other = nullptr;  // a two-deep ring: its other row; else null
    void* sums = nullptr;                  // running sums; null for a ring summed directly
    int divisor = 1;                       // records in the mean (1..512)
    // The split layout (below): the row's low code bits, its high code bits and the sums'
    // bits above 16.
    std::uint16_t* rowLow = nullptr;
    std::uint8_t* rowHigh = nullptr;
    std::uint8_t* carries = nullptr;
};

// The split layout of a ring 65..128 deep, whose sums reach 17 bits. Per point and slot the
// ring keeps 20 bits, not 32: the low 8 bits of both codes as one 16-bit entry (CH1 low byte)
// and the top 2 bits of both in a nibble plane (point i in byte i / 2, bits 4 x (i % 2) on:
// CH1 bits 8-9, then CH2 bits 8-9). The sums keep their low 16 bits packed like a sample word
// and their 17th bits in a plane of 2 bits a point (byte i / 4, bits 2 x (i % 4) on: CH1,
// then CH2). A step streams its ring row from main memory, so fewer bytes there are what
// makes it faster.
inline constexpr std::uint32_t SplitLow(std::uint32_t codes) {
    return (codes & 0xFFu) | ((codes >> 8) & 0xFF00u);
}
inline constexpr std::uint32_t SplitHigh(std::uint32_t codes) {
    return ((codes >> 8) & 3u) | ((codes >> 22) & 0xCu);
}
inline constexpr std::uint32_t SplitCodes(std::uint32_t low, std::uint32_t high) {
    return (low & 0xFFu) | ((low & 0xFF00u) << 8) | ((high & 3u) << 8) | ((high & 0xCu) << 22);
}

// One build of the loops. Each loop handles whole vectors of points from `i` on, stopping
// before `end`, and returns the first point it left for the plain loop to finish. The three
// loops are the three layouts of the history:
//   direct: no sums; the mean is this record's codes plus the other row of a ring N <= 2 deep;
//   packed: both sums of a point in one 32-bit word laid out like a sample word (N <= 64);
//   wide:   the sums of a point in two 32-bit lanes of a 64-bit word, CH1 low;
//   split:  the split layout above.
// A missing sample (all bits set) keeps its ring entry, so its sums do not move, and keeps
// its word. `i` is the start of one of the step's blocks, a multiple of 16, so that the split
// loop's planes are met in whole bytes.
struct AverageKernel {
    const char* name;
    bool (*supported)();  // whether this CPU and OS can run it
    int (*direct)(const AverageRows& rows, int i, int end);
    int (*packed)(const AverageRows& rows, int i, int end);
    int (*wide)(const AverageRows& rows, int i, int end);
    // Null in the builds where the split layout does not pay (its plain loop costs more than
    // the bytes it saves): a history allocated with them keeps the wide layout, and the plain
    // loop steps a split one.
    int (*split)(const AverageRows& rows, int i, int end);
};

// Every build compiled in, widest first; the last one (no vector loops) runs everywhere.
int AverageKernelCount();
const AverageKernel& AverageKernelAt(int index);
// The widest build this machine runs.
const AverageKernel& BestAverageKernel();

}  // namespace lumatrace
