#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "app/display/SampleWord.h"

namespace lumatrace {

// Every record buffer holds one word more than the largest record (1,000,000 points): the
// gap detection reads the word just past the record.
inline constexpr int kMaxRecordPoints = 1000000;
inline constexpr std::size_t kBufferWords = 1000001;

using SampleBuffer = std::array<SampleWord, kBufferWords>;

// The record buffers, static storage for the whole run (zero-filled at start; the first
// record clears what it needs). Written only on the user-interface thread.
extern SampleBuffer FetchBuffer;       // each record from the instrument lands here first
extern SampleBuffer EquBuffer;         // equivalent-time accumulation
extern SampleBuffer WaveBuffer;        // the record on show
extern SampleBuffer RollScratch;       // roll mode: scratch for the left shift
extern SampleBuffer FftInputSnapshot;  // copy of WaveBuffer taken for each transform

// XY plot: one flag per (CH1 code, CH2 code) pair, index CH2 + CH1 * 1025.
inline constexpr std::size_t kXyPlotSide = 1025;
using XyPlotFlags = std::array<std::uint8_t, kXyPlotSide * kXyPlotSide>;
extern XyPlotFlags XyPlotMap;

constexpr std::size_t XyPlotIndex(int ch1Code, int ch2Code) {
    return static_cast<std::size_t>(ch2Code) + static_cast<std::size_t>(ch1Code) * kXyPlotSide;
}

// Held while WaveBuffer is written as a record is assembled (data arrival, roll step, file
// load, averaging) and while the spectrum snapshot copies it, so that a snapshot taken on
// another thread always sees a whole record.
extern std::mutex WaveBufferMutex;

// Fills all 1,000,001 words with NoSample. Stretches already NoSample are read, not written
// again: past a short record most of a buffer is, and reading costs far less than writing.
void ClearRecord(SampleBuffer& buffer);

// Copies all 1,000,001 words, whatever the record length.
void TakeRecord(const SampleBuffer& from, SampleBuffer& to);

// ClearRecord for a buffer known to hold NoSample at and past `extent`: fills the words before.
void ClearRecordBelow(SampleBuffer& buffer, std::size_t extent);

// TakeRecord for a `from` that holds NoSample past its first `words` words (a record just
// fetched into a cleared buffer) and a `to` known to hold NoSample at and past `toExtent`
// (kBufferWords: nothing known): copies those words and clears the rest of `to` up to
// `toExtent`, as ClearRecord does.
void TakeFetchedRecord(const SampleBuffer& from, std::size_t words, SampleBuffer& to,
                       std::size_t toExtent = kBufferWords);

// Copies `wave` into `snapshot` under WaveBufferMutex.
void SnapshotForSpectrum(const SampleBuffer& wave, SampleBuffer& snapshot);

inline constexpr int kCouplingGnd = 2;  // displayCoupling index of "GND"

struct GroundCoupling {
    std::array<int, 2> displayCoupling = {0, 0};  // 0 DC, 1 AC, 2 GND
    std::array<int, 2> tracePosition = {250, 250};

    bool Any() const {
        return displayCoupling[0] == kCouplingGnd || displayCoupling[1] == kCouplingGnd;
    }
};

// Writes each GND-coupled channel's zero code into its half of every word, whatever the word
// held (NoSample included); the other channel's half is kept.
void ApplyGroundCoupling(std::span<SampleWord> words, const GroundCoupling& coupling);

}  // namespace lumatrace
