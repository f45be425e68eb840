// The analogue side of the virtual instrument: an input's signal as it
// appears after linear first-order filtering, evaluated at single instants
// (trigger search, reference) or over uniform sample grids (acquisition).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/firmware/VirtualConfig.h"

namespace lumatrace::device {

// Times are integer picoseconds of instrument time.
using Picoseconds = int64_t;

// A linear filter built from first-order low-passes: the sum of
// coefficient x lowpass(tau) over its terms, tau 0 standing for the signal
// itself. Products of distinct low-passes split into such sums by partial
// fractions, so cascades stay in this form.
struct FilterChain {
    struct Term {
        double coefficient = 1.0;
        double tauSeconds = 0.0;
    };
    std::vector<Term> terms{Term{}};

    static FilterChain identity() { return {}; }
    static FilterChain lowPass(double cornerHz);
    static FilterChain highPass(double cornerHz);  // identity minus low-pass
    FilterChain then(const FilterChain& next) const;
    double dcGain() const;
    // Gain and phase (radians) for a sine of the given frequency.
    void sineResponse(double frequencyHz, double& gain, double& phase) const;
    // Equivalent noise bandwidth relative to an unfiltered path.
    double noiseFactor() const;
};

// One input's signal through a filter chain, with AC coupling (the mean
// removed before the filter) or not, scaled to codes: value(t) x gain +
// bias. Built once per front-end setting; immutable afterwards.
class CompiledSignal {
  public:
    CompiledSignal(const SignalSpec& spec, const FilterChain& chain, bool acCoupled, double gain,
                   double bias, uint64_t noiseSeed);

    // Noise-free value at instant t (for the trigger comparator).
    double deterministicAt(Picoseconds t) const;
    // Value at t including noise, computed term by term the plain way.
    double referenceAt(Picoseconds t) const;
    // out[k] = value at t0 + k x dt, k < n, including noise (fast path).
    void render(Picoseconds t0, Picoseconds dt, std::size_t n, double* out) const;

    // Shortest feature (for the trigger scan step) and longest period of the
    // periodic terms; 0 when there is none.
    double shortestFeatureSeconds() const { return shortestFeature_; }
    double longestPeriodSeconds() const { return longestPeriod_; }

  private:
    struct Segment {
        double start;  // phase 0..1
        double value;  // at the start
        double slope;  // per unit phase
    };
    struct LowPassTerm {
        double coefficient;
        double tau;                    // seconds; 0: the raw shape
        std::vector<double> boundary;  // steady-state output at each segment start
    };
    struct Periodic {
        double frequency;
        double phase0;  // cycles
        double amplitude;
        std::vector<Segment> segments;
        std::vector<LowPassTerm> terms;
    };
    struct Sine {
        double frequency;
        double phase0;  // cycles
        double amplitude;
    };

    double periodicAt(const Periodic& p, double u) const;
    // out[k] += the sine at t0 + k x dt, k < n; out[k] = *base + the sine
    // when there is a base.
    void addSine(const Sine& s, Picoseconds t0, Picoseconds dt, std::size_t n, double* out,
                 const double* base) const;
    static double cyclesAt(double frequency, double phase0, Picoseconds t);

    std::vector<Sine> sines_;
    std::vector<Periodic> periodic_;
    double constant_ = 0.0;
    double noiseRms_ = 0.0;
    double gain_ = 1.0;
    double bias_ = 0.0;
    uint64_t noiseSeed_ = 0;
    double shortestFeature_ = 0.0;
    double longestPeriod_ = 0.0;
};

// Deterministic Gaussian noise sample (unit rms) for a seed and an instant.
double noiseAt(uint64_t seed, Picoseconds t);

}  // namespace lumatrace::device
