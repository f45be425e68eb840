// Assembling the record on show from what the instrument delivered.
#pragma once

#include <cstdint>

#include "app/display/WaveBuffers.h"

namespace lumatrace {

inline constexpr int kEquivalentFactor = 100;

// Places one equivalent-time pass: the N/100 real samples of `fetch` that
// surround the trigger land 100 words apart in `equ`, starting at `phase`;
// then `equ` is copied whole to `wave` and the holes of `wave` are filled.
// A pass whose phase could not be read (above 99) or whose trigger position
// lies outside the record is dropped without touching any buffer: false.
bool MergeEquivalentPass(const SampleBuffer& fetch, SampleBuffer& equ, SampleBuffer& wave,
                         int memoryPoints, int trigPosition, std::uint32_t phase);

// Fills the holes (runs of NoSample) among words 0..N-1: a leading hole with
// the first valid word, a trailing one with the last, an inner one by linear
// interpolation of both channels' codes rounded half to even. A record
// without any valid word stays empty. Reads word N to see the end of a run.
void FillGaps(SampleBuffer& wave, int memoryPoints);

// Roll mode: samples to read in one tick, a whole number of pixel columns of
// q samples each (the whole record when at least that many wait); 0 when
// fewer than one column waits.
std::uint32_t RollReadCount(std::uint32_t waiting, int q, int memoryPoints);

// Shifts the record left by n words through `scratch` and appends the first
// n words of `fresh` at its end (n = N replaces it whole).
void RollAppend(SampleBuffer& wave, SampleBuffer& scratch, const SampleBuffer& fresh, int n,
                int memoryPoints);

}  // namespace lumatrace
