// The measurement engine: levels, timing and the channel pair measured on one record, in SI
// units, with the state levels and reference levels of IEEE 181.
//
// Levels. The top and base state levels are the modes of the upper and lower halves of the
// record's histogram (split halfway between the smallest and the largest value). A half whose
// mode does not stand out of it (a ramp, a triangle, noise) has no state there; that level
// falls back to the extreme of the record. CH1 and CH2 are histogrammed by code, 1,024 bins of
// one code each; MATH, whose values are not codes, by bins a power of two wide and aligned on
// multiples of it, the narrowest of which no more than 1,024 span its extremes, the level
// being the mean of the values in the mode's bin.
//
// MATH. Sums, differences and products of the channels are whole multiples of one unit (a
// score per sample, exact in 64-bit integers and in doubles): they are measured by their
// scores, whose extremes, sums, bins and levels are exact whatever order the samples are taken
// in. Quotients, and products of a grounded source, are measured by their values in record
// order.
//
// Edges. The reference levels are 10 %, 50 % and 90 % of the way from base to top. A rising
// edge is a passage from at or below the 10 % level to at or above the 90 % level, a falling
// edge the reverse; noise that crosses the 50 % level back and forth inside that band makes no
// edge. An edge's instant is its last crossing of the 50 % level, interpolated linearly between
// the two samples around it; its rise (fall) time runs from its last crossing of the 10 % (90 %)
// level to its first arrival at the 90 % (10 %) level. Period is averaged over every whole
// period in the gate: from the first to the last rising edge (falling edges when there are
// fewer than two rising ones) divided by their number less one. Widths, rise and fall are
// averaged over every edge in the gate.
//
// Channel pair. The delay runs from CH1's first rising edge in the gate to CH2's rising edge
// nearest to it, both at their 50 % crossings; the phase is that delay in degrees of CH1's
// period.
//
// No value. A source that is off or ground-coupled, a gate without samples, a period without
// two edges give std::nullopt, never 0. Timing needs an amplitude of at least
// kMinEdgeAmplitudeCodes: below it the reference levels fall within quantisation noise.
// Missing samples (a half of all ones, NoSample) are skipped; an edge across a gap is
// interpolated between the samples either side.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "app/display/MathTrace.h"
#include "app/display/SampleWord.h"
#include "app/measure/MeasureTypes.h"

namespace lumatrace {

// One channel as the record was taken.
struct MeasureChannel {
    bool on = true;          // the trace is shown
    bool ground = false;     // GND coupling: the record holds the zero code, nothing to measure
    int voltsPerDivMv = 50;  // at the instrument (the panel's value divided by the probe factor)
    int probeFactor = 10;    // 1, 10 or 100
    int position = 250;      // vertical position (1/50 division) when the record was taken
};

// A record and what is needed to turn it into volts and seconds.
struct MeasureInput {
    std::span<const SampleWord> record;  // index 0 is the first sample
    std::array<MeasureChannel, 2> channel{};
    bool mathOn = false;
    // The MATH operation; its ground flags are taken from `channel`, its scale is not used.
    MathSettings math{};
    double sampleIntervalSeconds = 0.0;  // time between two indices
};

// Half-open range of record indices [first, end).
struct SampleRange {
    int first = 0;
    int end = 0;

    int Size() const { return end > first ? end - first : 0; }
    bool operator==(const SampleRange&) const = default;
};

// The smallest amplitude (top - base, in codes) for which edges are looked for.
inline constexpr int kMinEdgeAmplitudeCodes = 8;

// Measures records. Keeps its work buffers between calls, so that measuring every record of a
// run allocates nothing after the first; one engine per thread.
class MeasureEngine {
  public:
    // Every measurement of `source` over `gate` (clipped to the record); delay and phase too
    // unless `withPair` is false (they need both channels analysed, whatever the source).
    MeasureValues Measure(const MeasureInput& in, MeasureSource source, SampleRange gate,
                          bool withPair = true);

    // What is known of one source after its analysis; exposed for the pair measurements and
    // for tests.
    // Instants and durations in record indices (fractional): converted to seconds once, at the
    // end, so that whole numbers of samples stay whole.
    struct EdgeSummary {
        int rising = 0;
        int falling = 0;
        double firstRise = 0.0;  // 50 % instants
        double lastRise = 0.0;
        double firstFall = 0.0;
        double lastFall = 0.0;
        double riseSum = 0.0;  // 10-90 % durations
        double fallSum = 0.0;
        double widthPosSum = 0.0;
        int widthPosCount = 0;
        double widthNegSum = 0.0;
        int widthNegCount = 0;
        // The 50 % instant of the rising edge nearest to the instant asked for (the later of
        // two equally near); NaN when none was asked for or there is no rising edge.
        double nearRise = std::numeric_limits<double>::quiet_NaN();
    };
    struct Analysis {
        bool measurable = false;  // on, not grounded, with at least one sample in the gate
        double max = 0.0, min = 0.0, top = 0.0, base = 0.0;  // volts
        double mean = 0.0, rms = 0.0, rmsAc = 0.0;
        double amplitudeForPercent = 0.0;  // top - base in the units overshoot is taken in
        double overshootSpan = 0.0;        // max - top, same units
        double preshootSpan = 0.0;         // base - min, same units
        bool edgesLooked = false;          // the amplitude allowed edges to be looked for
        double interval = 0.0;             // seconds per index
        EdgeSummary edges;
    };
    const Analysis& Analyse(const MeasureInput& in, MeasureSource source, SampleRange gate);

  private:
    // `near`: an instant (record index) whose nearest rising edge to find, or NaN.
    void AnalyseChannel(const MeasureInput& in, int channel, SampleRange gate, Analysis& out,
                        double near = std::numeric_limits<double>::quiet_NaN());
    void AnalyseMath(const MeasureInput& in, SampleRange gate, Analysis& out);
    // Sums, differences and products by their exact scores; false (nothing done) where the
    // MATH has none.
    bool AnalyseMathScores(const MeasureInput& in, SampleRange gate, Analysis& out);

    Analysis analysis_;
    std::vector<double> mathValues_;
    std::vector<double> mathBlockMin_;  // per block of a gate: extremes and sum of the scores
    std::vector<double> mathBlockMax_;
    std::vector<double> mathBlockSum_;
    std::vector<std::uint32_t> smallCounts_;  // sums and differences of few values: by value
    std::vector<std::int16_t> smallBlockMin_;
    std::vector<std::int16_t> smallBlockMax_;
    std::vector<std::uint16_t> blockMin_;  // per block of the gate: extremes of the codes
    std::vector<std::uint16_t> blockMax_;
};

// The values of one analysis, delay and phase not filled in.
MeasureValues ValuesOf(const MeasureEngine::Analysis& a);

// CH1 -> CH2: from CH1's first rising edge to the CH2 rising edge nearest to it (ch2 analysed
// with that instant asked for), and that delay as a share of CH1's period in degrees. Taking
// the nearest edge keeps the delay of two periodic signals within half a period, whichever
// edge each record happens to begin with.
void FillDelayAndPhase(const MeasureEngine::Analysis& ch1, const MeasureEngine::Analysis& ch2,
                       MeasureValues& values);

}  // namespace lumatrace
