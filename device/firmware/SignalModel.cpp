#include "device/firmware/SignalModel.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <type_traits>

namespace lumatrace::device {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Noise at the input is white up to the front end's own bandwidth.
constexpr double kFrontEndBandwidthHz = 200e6;
// exp(-40) is below the resolution of anything the instrument computes.
constexpr double kSettled = 40.0;
// Sine terms are re-seeded from the exact phase this often, so the
// rotation's rounding never accumulates.
constexpr std::size_t kReseedBlock = 4096;

double fractionOf(long double cycles) {
    long double f = cycles - std::floor(cycles);
    double d = static_cast<double>(f);
    // Rounding to double may reach 1.0; that is the start of the next cycle.
    return d >= 1.0 ? 0.0 : d;
}

// The fixed-point phase of a rendered sample differs from the exact phase
// by the rounding of the block's start phase and of the increment, summed
// over a block: far below this many units of 2^-64 cycle.
constexpr uint64_t kPhaseMargin = uint64_t{1} << 24;

// Whether a fixed-point phase lies within rounding of `edge` or of the wrap
// at 0, where only the exact evaluation can tell the side.
bool nearEdge(uint64_t phase, uint64_t edge) {
    return phase - edge + kPhaseMargin <= 2 * kPhaseMargin ||
           phase + kPhaseMargin <= 2 * kPhaseMargin;
}

// Adds a or b to each out[k] (to *base instead when there is one): a
// while phase + k x inc (mod 2^64) is below `edge`, b from there on. Where
// the level holds for many samples, whole runs are done at once. A sample
// within rounding of an edge gets the level exactBelow(k) gives: the exact
// evaluation the trigger comparator uses, so that a sample taken right at
// a trigger edge is on the side the comparator saw.
template <class ExactBelow>
void addTwoLevels(uint64_t phase, uint64_t inc, uint64_t edge, double a, double b, std::size_t n,
                  double* out, const double* base, const ExactBelow& exactBelow) {
    auto put = [&](std::size_t k, bool below) {
        out[k] = (base ? *base : out[k]) + (below ? a : b);
    };
    const uint64_t shorter = std::min(edge, uint64_t{0} - edge);
    if (inc == 0 || shorter / inc < 16 || shorter <= 4 * kPhaseMargin) {
        for (std::size_t k = 0; k < n; ++k) {
            put(k, nearEdge(phase, edge) ? exactBelow(k) : phase < edge);
            phase += inc;
        }
        return;
    }
    for (std::size_t k = 0; k < n;) {
        if (nearEdge(phase, edge)) {
            put(k, exactBelow(k));
            phase += inc;
            ++k;
            continue;
        }
        // Steps before the phase comes within rounding of the edge (from
        // below) or of the wrap past 2^64 - 1 (from above).
        const bool below = phase < edge;
        const uint64_t limit = (below ? edge : 0) - kPhaseMargin;
        const uint64_t steps = (limit - phase - 1) / inc + 1;
        const std::size_t run = static_cast<std::size_t>(std::min<uint64_t>(steps, n - k));
        const double v = below ? a : b;
        if (base)
            std::fill(out + k, out + k + run, *base + v);
        else
            for (std::size_t j = 0; j < run; ++j)
                out[k + j] += v;
        phase += static_cast<uint64_t>(run) * inc;
        k += run;
    }
}

}  // namespace

FilterChain FilterChain::lowPass(double cornerHz) {
    FilterChain c;
    c.terms = {Term{1.0, 1.0 / (kTwoPi * cornerHz)}};
    return c;
}

FilterChain FilterChain::highPass(double cornerHz) {
    FilterChain c;
    c.terms = {Term{1.0, 0.0}, Term{-1.0, 1.0 / (kTwoPi * cornerHz)}};
    return c;
}

FilterChain FilterChain::then(const FilterChain& next) const {
    FilterChain out;
    out.terms.clear();
    auto add = [&](double coefficient, double tau) {
        for (Term& t : out.terms) {
            if (t.tauSeconds == tau) {
                t.coefficient += coefficient;
                return;
            }
        }
        out.terms.push_back({coefficient, tau});
    };
    for (const Term& a : terms) {
        for (const Term& b : next.terms) {
            double c = a.coefficient * b.coefficient;
            if (a.tauSeconds == 0.0) {
                add(c, b.tauSeconds);
            } else if (b.tauSeconds == 0.0) {
                add(c, a.tauSeconds);
            } else {
                // 1/((1+sa)(1+sb)) = (a/(1+sa) - b/(1+sb)) / (a - b). The
                // instrument's corners are decades apart, so a == b never
                // occurs; nudge b if it ever did.
                double ta = a.tauSeconds;
                double tb = b.tauSeconds == ta ? ta * (1.0 + 1e-9) : b.tauSeconds;
                add(c * ta / (ta - tb), ta);
                add(-c * tb / (ta - tb), tb);
            }
        }
    }
    return out;
}

double FilterChain::dcGain() const {
    double g = 0.0;
    for (const Term& t : terms)
        g += t.coefficient;
    return g;
}

void FilterChain::sineResponse(double frequencyHz, double& gain, double& phase) const {
    std::complex<double> h = 0.0;
    for (const Term& t : terms)
        h += t.coefficient / std::complex<double>(1.0, kTwoPi * frequencyHz * t.tauSeconds);
    gain = std::abs(h);
    phase = std::arg(h);
}

double FilterChain::noiseFactor() const {
    double tau = 0.0;
    for (const Term& t : terms)
        tau = std::max(tau, t.tauSeconds);
    if (tau == 0.0)
        return 1.0;
    // Equivalent noise bandwidth of a first-order low-pass is 1/(4 tau).
    double ratio = (1.0 / (4.0 * tau)) / (kFrontEndBandwidthHz * std::numbers::pi / 2.0);
    return std::sqrt(std::min(1.0, ratio));
}

namespace {

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ull;

inline uint64_t noiseBits(uint64_t seed, uint64_t scaledTime) {
    uint64_t x = seed ^ scaledTime;
    x += kGolden;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

inline double noiseOfBits(uint64_t x) {
    // Irwin-Hall with four uniforms: close enough to Gaussian for a trace.
    double sum = 0.0;
    for (int i = 0; i < 4; ++i)
        sum +=
            (static_cast<double>(static_cast<int32_t>((x >> (16 * i)) & 0xFFFF)) + 0.5) / 65536.0;
    return (sum - 2.0) * std::numbers::sqrt3;
}

// out[k] += a x noiseAt(seed, t0 + k x dt), in passes the compiler can
// vectorise: the hashes first, then the sums.
void addNoise(uint64_t seed, Picoseconds t0, Picoseconds dt, std::size_t n, double a, double* out) {
    constexpr std::size_t kChunk = 256;
    uint64_t bits[kChunk];
    // t x golden, stepped by dt x golden: the same product modulo 2^64.
    uint64_t scaled = static_cast<uint64_t>(t0) * kGolden;
    const uint64_t step = static_cast<uint64_t>(dt) * kGolden;
    for (std::size_t c = 0; c < n; c += kChunk) {
        const std::size_t m = std::min(kChunk, n - c);
        for (std::size_t k = 0; k < m; ++k)
            bits[k] = noiseBits(seed, scaled + k * step);
        scaled += m * step;
        for (std::size_t k = 0; k < m; ++k)
            out[c + k] += a * noiseOfBits(bits[k]);
    }
}

}  // namespace

double noiseAt(uint64_t seed, Picoseconds t) {
    return noiseOfBits(noiseBits(seed, static_cast<uint64_t>(t) * kGolden));
}

CompiledSignal::CompiledSignal(const SignalSpec& spec, const FilterChain& chain, bool acCoupled,
                               double gain, double bias, uint64_t noiseSeed)
    : gain_(gain), bias_(bias), noiseSeed_(noiseSeed) {
    const double dc = chain.dcGain();
    double noiseVariance = 0.0;
    for (const SignalTerm& term : spec) {
        if (!acCoupled)
            constant_ += term.offset * dc;
        if (term.shape == Shape::Dc)
            continue;
        if (term.shape == Shape::Noise) {
            noiseVariance += term.rms * term.rms;
            continue;
        }
        const double period = 1.0 / term.frequencyHz;
        longestPeriod_ = std::max(longestPeriod_, period);
        const double phase0 = term.phaseDeg / 360.0;
        if (term.shape == Shape::Sine) {
            double g = 0.0, ph = 0.0;
            chain.sineResponse(term.frequencyHz, g, ph);
            sines_.push_back({term.frequencyHz, phase0 + ph / kTwoPi, term.amplitude * g});
            double feature = period / 32.0;
            shortestFeature_ =
                shortestFeature_ == 0.0 ? feature : std::min(shortestFeature_, feature);
            continue;
        }
        Periodic p;
        p.frequency = term.frequencyHz;
        p.phase0 = phase0;
        p.amplitude = term.amplitude;
        double mean = 0.0;
        switch (term.shape) {
            case Shape::Square:
                p.segments = {{0.0, 1.0, 0.0}, {term.duty, -1.0, 0.0}};
                mean = 2.0 * term.duty - 1.0;
                break;
            case Shape::Pulse:
                p.segments = {{0.0, 1.0, 0.0}, {term.duty, 0.0, 0.0}};
                mean = term.duty;
                break;
            case Shape::Triangle:
                p.segments = {{0.0, 0.0, 4.0}, {0.25, 1.0, -4.0}, {0.75, -1.0, 4.0}};
                break;
            default:  // sawtooth
                p.segments = {{0.0, -1.0, 2.0}};
                break;
        }
        if (acCoupled)
            constant_ -= term.amplitude * mean * dc;
        double shortestSegment = 1.0;
        for (std::size_t j = 0; j < p.segments.size(); ++j) {
            double end = j + 1 < p.segments.size() ? p.segments[j + 1].start : 1.0;
            shortestSegment = std::min(shortestSegment, end - p.segments[j].start);
        }
        double feature = period * std::min(1.0 / 32.0, shortestSegment / 4.0);
        shortestFeature_ = shortestFeature_ == 0.0 ? feature : std::min(shortestFeature_, feature);

        for (const FilterChain::Term& ft : chain.terms) {
            LowPassTerm lp{ft.coefficient, ft.tauSeconds, {}};
            if (ft.tauSeconds > 0.0) {
                // Steady state of tau y' + y = x over one period: propagate
                // from y = 0, then y0 = G / (1 - exp(-T/tau)).
                const double tau = ft.tauSeconds;
                const std::size_t n = p.segments.size();
                auto propagate = [&](double y0, std::vector<double>& at) {
                    double y = y0;
                    for (std::size_t j = 0; j < n; ++j) {
                        at[j] = y;
                        double end = j + 1 < n ? p.segments[j + 1].start : 1.0;
                        double len = (end - p.segments[j].start) * period;
                        double beta = p.segments[j].slope * term.frequencyHz;
                        double oneMinusE = -std::expm1(-len / tau);
                        y = y * (1.0 - oneMinusE) + (p.segments[j].value - tau * beta) * oneMinusE +
                            beta * len;
                    }
                    return y;
                };
                std::vector<double> at(n);
                double g = propagate(0.0, at);
                double y0 = g / -std::expm1(-period / tau);
                propagate(y0, at);
                lp.boundary = std::move(at);
            }
            p.terms.push_back(std::move(lp));
        }
        periodic_.push_back(std::move(p));
    }
    noiseRms_ = std::sqrt(noiseVariance) * chain.noiseFactor();
}

double CompiledSignal::cyclesAt(double frequency, double phase0, Picoseconds t) {
    return fractionOf(static_cast<long double>(frequency) * static_cast<long double>(t) * 1e-12L +
                      static_cast<long double>(phase0));
}

double CompiledSignal::periodicAt(const Periodic& p, double u) const {
    std::size_t j = p.segments.size() - 1;
    while (j > 0 && u < p.segments[j].start)
        --j;
    const Segment& seg = p.segments[j];
    double du = u - seg.start;
    double sum = 0.0;
    for (const LowPassTerm& lp : p.terms) {
        if (lp.tau == 0.0) {
            sum += lp.coefficient * (seg.value + seg.slope * du);
            continue;
        }
        double s = du / p.frequency;
        double beta = seg.slope * p.frequency;
        double y = seg.value + beta * s - lp.tau * beta;
        double x = s / lp.tau;
        if (x < kSettled)
            y += (lp.boundary[j] - seg.value + lp.tau * beta) * std::exp(-x);
        sum += lp.coefficient * y;
    }
    return p.amplitude * sum;
}

void CompiledSignal::addSine(const Sine& s, Picoseconds t0, Picoseconds dt, std::size_t n,
                             double* out, const double* base) const {
    // Eight interleaved rotations, each advancing eight samples per step,
    // in pairs: independent chains keep the multiplier busy.
    using Pair = double __attribute__((vector_size(16)));
    constexpr std::size_t kLanes = 8;
    const double a = gain_ * s.amplitude;
    const double theta = kTwoPi * cyclesAt(s.frequency, s.phase0, t0);
    const double step = kTwoPi * cyclesAt(s.frequency, 0.0, dt);
    const double stride = kTwoPi * cyclesAt(s.frequency, 0.0, dt * kLanes);
    const double c1 = std::cos(step), s1 = std::sin(step);
    double cl[kLanes], sl[kLanes];
    cl[0] = a * std::cos(theta);
    sl[0] = a * std::sin(theta);
    for (std::size_t l = 1; l < kLanes; ++l) {
        cl[l] = cl[l - 1] * c1 - sl[l - 1] * s1;
        sl[l] = sl[l - 1] * c1 + cl[l - 1] * s1;
    }
    const Pair cs = {std::cos(stride), std::cos(stride)};
    const Pair ss = {std::sin(stride), std::sin(stride)};
    Pair c0 = {cl[0], cl[1]}, c2 = {cl[2], cl[3]}, c4 = {cl[4], cl[5]}, c6 = {cl[6], cl[7]};
    Pair s0 = {sl[0], sl[1]}, s2 = {sl[2], sl[3]}, s4 = {sl[4], sl[5]}, s6 = {sl[6], sl[7]};
    const double b = base ? *base : 0.0;
    const Pair bb = {b, b};
    auto advance = [&](double* o, Pair& c, Pair& si, auto fromBase) {
        Pair v = bb;
        if constexpr (!decltype(fromBase)::value)
            std::memcpy(&v, o, sizeof v);
        v += si;
        std::memcpy(o, &v, sizeof v);
        const Pair nc = c * cs - si * ss;
        si = si * cs + c * ss;
        c = nc;
    };
    auto run = [&](auto fromBase) {
        std::size_t k = 0;
        for (; k + kLanes <= n; k += kLanes) {
            advance(out + k, c0, s0, fromBase);
            advance(out + k + 2, c2, s2, fromBase);
            advance(out + k + 4, c4, s4, fromBase);
            advance(out + k + 6, c6, s6, fromBase);
        }
        const double rest[kLanes] = {s0[0], s0[1], s2[0], s2[1], s4[0], s4[1], s6[0], s6[1]};
        for (std::size_t l = 0; k < n; ++k, ++l)
            out[k] = (decltype(fromBase)::value ? b : out[k]) + rest[l];
    };
    // The first term of a block starts from the constant part rather than
    // adding to it: one pass over the block fewer.
    if (base)
        run(std::true_type{});
    else
        run(std::false_type{});
}

double CompiledSignal::deterministicAt(Picoseconds t) const {
    double v = constant_;
    for (const Sine& s : sines_)
        v += s.amplitude * std::sin(kTwoPi * cyclesAt(s.frequency, s.phase0, t));
    for (const Periodic& p : periodic_)
        v += periodicAt(p, cyclesAt(p.frequency, p.phase0, t));
    return bias_ + gain_ * v;
}

double CompiledSignal::referenceAt(Picoseconds t) const {
    double v = deterministicAt(t);
    if (noiseRms_ > 0.0)
        v += gain_ * noiseRms_ * noiseAt(noiseSeed_, t);
    return v;
}

void CompiledSignal::render(Picoseconds t0, Picoseconds dt, std::size_t n, double* out) const {
    const double constant = bias_ + gain_ * constant_;

    for (std::size_t b = 0; b < n; b += kReseedBlock) {
        const std::size_t m = std::min(kReseedBlock, n - b);
        const Picoseconds tb = t0 + static_cast<Picoseconds>(b) * dt;
        double* o = out + b;
        // The constant part, until a term has started from it.
        const double* base = &constant;
        for (const Sine& s : sines_) {
            addSine(s, tb, dt, m, o, base);
            base = nullptr;
        }
        for (const Periodic& p : periodic_) {
            // Phase as a 64-bit fixed-point fraction of a cycle: it wraps by
            // itself and does not drift over a block.
            const double scale = 18446744073709551616.0;  // 2^64
            uint64_t phase = static_cast<uint64_t>(cyclesAt(p.frequency, p.phase0, tb) * scale);
            const uint64_t inc = static_cast<uint64_t>(cyclesAt(p.frequency, 0.0, dt) * scale);
            const double a = gain_;
            const bool plain = p.terms.size() == 1 && p.terms[0].tau == 0.0;
            if (plain && p.segments.size() == 2 && p.segments[0].slope == 0.0 &&
                p.segments[1].slope == 0.0) {
                // Square and pulse: two levels, one threshold.
                const uint64_t edge = static_cast<uint64_t>(p.segments[1].start * scale);
                const double hi = a * p.amplitude * p.terms[0].coefficient * p.segments[0].value;
                const double lo = a * p.amplitude * p.terms[0].coefficient * p.segments[1].value;
                const double edgeStart = p.segments[1].start;
                auto exactBelow = [&](std::size_t k) {
                    const Picoseconds t = tb + static_cast<Picoseconds>(k) * dt;
                    return cyclesAt(p.frequency, p.phase0, t) < edgeStart;
                };
                addTwoLevels(phase, inc, edge, hi, lo, m, o, base, exactBelow);
                base = nullptr;
                continue;
            }
            if (base) {
                std::fill(o, o + m, *base);
                base = nullptr;
            }
            for (std::size_t k = 0; k < m; ++k) {
                const double u = static_cast<double>(phase >> 11) * 0x1p-53;
                o[k] += a * periodicAt(p, u);
                phase += inc;
            }
        }
        if (base)
            std::fill(o, o + m, *base);
        if (noiseRms_ > 0.0) {
            addNoise(noiseSeed_, tb, dt, m, gain_ * noiseRms_, o);
        }
    }
}

}  // namespace lumatrace::device
