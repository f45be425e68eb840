// The measurements at the largest record.
//
// Every measurement of one source over a whole 1,000,000-point record, against the floor of
// one pass that reads every word of it, measured in the same run. Signals: the display
// benchmarks' noisy sine (13 periods, noise of +-30 codes), the same sine clean, a square of
// 1,000 periods clean and with noise of +-20 codes, and a square of 50,000 periods (100,000
// edges) as the busiest record the edges can make. Also the same with delay and phase (the
// other channel analysed too), and the MATH trace (products, and each operator on the noisy
// sine); and the engine's first pass alone (block extremes and the exact histogram of the
// codes), which a noisy record's measurements cannot take less than, and for MATH products
// its two passes over the scores alone (extremes and sums, then the histogram, which needs the
// extremes first). A table of the ratios follows the benchmark output. On a shared machine add
// --benchmark_enable_random_interleaving=true, so that the floor and the measurements are timed
// under the same load.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/measure/MeasureEngine.h"
#include "app/measure/MeasureKernels.h"
#include "bench/BenchSupport.h"

namespace {

using namespace lumatrace;

constexpr int kPoints = 1000000;

enum Signal : int { kNoisySine, kCleanSine, kCleanSquare, kNoisySquare, kBusySquare, kSignals };
constexpr const char* kSignalNames[] = {"noisy sine", "clean sine", "clean square", "noisy square",
                                        "busy square"};

// CH1 holds the signal; CH2 the display benchmarks' cosine.
const std::vector<SampleWord>& Record(int signal) {
    static std::vector<SampleWord> records[kSignals];
    std::vector<SampleWord>& r = records[signal];
    if (!r.empty())
        return r;
    SampleBuffer& buffer = FetchBuffer;
    bench::FillNoisyRecord(buffer, kPoints);
    r.assign(buffer.begin(), buffer.begin() + kPoints);
    if (signal == kNoisySine)
        return r;
    const int period = signal == kBusySquare ? 20 : 1000;
    std::uint32_t state = 99;
    for (int i = 0; i < kPoints; ++i) {
        state = state * 1664525u + 1013904223u;
        int code = 0;
        if (signal == kCleanSine) {
            code = 512 + static_cast<int>(350 * std::sin(6.283185307179586 * 13.0 * i / kPoints));
        } else {
            const int noise = signal == kCleanSquare ? 0 : static_cast<int>((state >> 8) % 41) - 20;
            code = ((i % period) < period * 3 / 10 ? 800 : 200) + noise;
        }
        const int ch2 = DecodeCode(r[static_cast<std::size_t>(i)], 16);
        r[static_cast<std::size_t>(i)] = MakeSampleWord(std::clamp(code, 0, 1023), ch2);
    }
    return r;
}

MeasureInput InputFor(const std::vector<SampleWord>& record) {
    MeasureInput in;
    in.record = record;
    in.mathOn = true;
    in.math.op = MathOperator::Mul;
    in.sampleIntervalSeconds = 1e-8;
    return in;
}

void BM_Floor(benchmark::State& state) {
    const std::vector<SampleWord>& record = Record(kNoisySine);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::ReadOnce(record.data(), kPoints));
}

// One source's measurements, delay and phase left out.
void BM_Channel(benchmark::State& state) {
    const MeasureInput in = InputFor(Record(static_cast<int>(state.range(0))));
    MeasureEngine engine;
    for (auto _ : state) {
        MeasureValues v = engine.Measure(in, MeasureSource::Ch1, {0, kPoints}, false);
        benchmark::DoNotOptimize(v);
    }
}

// Everything the panel shows for CH1: its measurements, delay and phase.
void BM_ChannelWithPair(benchmark::State& state) {
    const MeasureInput in = InputFor(Record(static_cast<int>(state.range(0))));
    MeasureEngine engine;
    for (auto _ : state) {
        MeasureValues v = engine.Measure(in, MeasureSource::Ch1, {0, kPoints});
        benchmark::DoNotOptimize(v);
    }
}

void BM_Math(benchmark::State& state) {
    const MeasureInput in = InputFor(Record(static_cast<int>(state.range(0))));
    MeasureEngine engine;
    for (auto _ : state) {
        MeasureValues v = engine.Measure(in, MeasureSource::Math, {0, kPoints}, false);
        benchmark::DoNotOptimize(v);
    }
}

// MATH on the noisy sine by each operator (the table above takes products).
void BM_MathOperator(benchmark::State& state) {
    MeasureInput in = InputFor(Record(kNoisySine));
    in.math.op = static_cast<MathOperator>(state.range(0));
    MeasureEngine engine;
    for (auto _ : state) {
        MeasureValues v = engine.Measure(in, MeasureSource::Math, {0, kPoints}, false);
        benchmark::DoNotOptimize(v);
    }
}

// The engine's first pass over CH1 alone: the extremes of each block and the exact histogram
// of the codes, by the widest build of it this machine runs.
void BM_CodeSummary(benchmark::State& state) {
    const std::vector<SampleWord>& record = Record(static_cast<int>(state.range(0)));
    std::vector<std::uint32_t> counts(kCodeCount);
    std::vector<std::uint16_t> blockMin(kPoints / kMeasureBlock);
    std::vector<std::uint16_t> blockMax(kPoints / kMeasureBlock);
    const CodeSummaryKernel& kernel = BestCodeSummaryKernel();
    for (auto _ : state) {
        std::fill(counts.begin(), counts.end(), 0u);
        kernel.summarise(record.data(), kPoints / kMeasureBlock, 0, counts.data(), blockMin.data(),
                         blockMax.data());
        benchmark::DoNotOptimize(counts.data());
        benchmark::DoNotOptimize(blockMax.data());
    }
}

// The product CH1 x CH2 of the noisy sine as the engine takes it: scores 125 code - 64000 of
// each channel at position 250, multiplied.
constexpr ScoreForm kProduct{true, 125.0, -64000.0, 125.0, -64000.0};

// MATH's first pass over the product's scores alone: block extremes and sums, the totals.
void BM_MathFirstPass(benchmark::State& state) {
    const std::vector<SampleWord>& record = Record(kNoisySine);
    constexpr int kBlocks = kPoints / kMeasureBlock;
    std::vector<double> blockMin(kBlocks), blockMax(kBlocks), blockSum(kBlocks);
    const ScoreKernel& kernel = BestScoreKernel();
    for (auto _ : state) {
        ScoreTotals totals;
        double squares[kScoreLanes] = {};
        kernel.scores(record.data(), kBlocks, 0, 16, kProduct, 0.0, blockMin.data(),
                      blockMax.data(), blockSum.data(), totals, squares);
        benchmark::DoNotOptimize(totals);
        benchmark::DoNotOptimize(blockSum.data());
    }
}

// Its second pass alone: the histogram of the scores' bins.
void BM_MathHistogram(benchmark::State& state) {
    const std::vector<SampleWord>& record = Record(kNoisySine);
    constexpr int kBlocks = kPoints / kMeasureBlock;
    std::vector<double> blockMin(kBlocks), blockMax(kBlocks), blockSum(kBlocks);
    const ScoreKernel& kernel = BestScoreKernel();
    ScoreTotals totals;
    double squares[kScoreLanes] = {};
    kernel.scores(record.data(), kBlocks, 0, 16, kProduct, 0.0, blockMin.data(), blockMax.data(),
                  blockSum.data(), totals, squares);
    int shift = 0;
    while (std::floor(std::ldexp(totals.hi, -shift)) - std::floor(std::ldexp(totals.lo, -shift)) >
           kCodeCount - 1)
        ++shift;
    const double base = std::ldexp(std::floor(std::ldexp(totals.lo, -shift)), shift);
    std::vector<std::uint32_t> counts(kCodeCount);
    for (auto _ : state) {
        std::fill(counts.begin(), counts.end(), 0u);
        kernel.bin(record.data(), kBlocks, 0, 16, kProduct, blockMin.data(), blockMax.data(), base,
                   shift, counts.data());
        benchmark::DoNotOptimize(counts.data());
    }
}

void Signals(benchmark::internal::Benchmark* b) {
    b->ArgName("signal")->DenseRange(0, kSignals - 1);
}

BENCHMARK(BM_Floor);
BENCHMARK(BM_Channel)->Apply(Signals);
BENCHMARK(BM_ChannelWithPair)->Apply(Signals);
BENCHMARK(BM_Math)->Apply(Signals);
BENCHMARK(BM_MathOperator)->ArgName("op")->DenseRange(0, 3);
BENCHMARK(BM_CodeSummary)->Apply(Signals);
BENCHMARK(BM_MathFirstPass);
BENCHMARK(BM_MathHistogram);

void PrintSummary(const bench::FastestTimes& times) {
    const double floor = times.Microseconds("BM_Floor");
    std::printf("\none read of 1M words: %.1f us\n", floor);
    std::printf("%-13s %14s %9s %14s %9s %12s %9s %12s %9s\n", "signal", "one source us", "x floor",
                "with pair us", "x floor", "MATH us", "x floor", "1st pass us", "x floor");
    for (int s = 0; s < kSignals; ++s) {
        const std::string arg = "/signal:" + std::to_string(s);
        const double one = times.Microseconds("BM_Channel" + arg);
        const double pair = times.Microseconds("BM_ChannelWithPair" + arg);
        const double math = times.Microseconds("BM_Math" + arg);
        const double summary = times.Microseconds("BM_CodeSummary" + arg);
        auto ratio = [&](double t) { return floor > 0.0 && t > 0.0 ? t / floor : 0.0; };
        std::printf("%-13s %14.1f %8.2fx %14.1f %8.2fx %12.1f %8.2fx %12.1f %8.2fx\n",
                    kSignalNames[s], one, ratio(one), pair, ratio(pair), math, ratio(math), summary,
                    ratio(summary));
    }
    std::printf("MATH of the noisy sine and CH2 by operator:");
    static constexpr const char* kOperators[] = {"CH1+CH2", "CH1-CH2", "CH1*CH2", "CH1/CH2"};
    for (int op = 0; op < 4; ++op) {
        const double t = times.Microseconds("BM_MathOperator/op:" + std::to_string(op));
        std::printf(" %s %.1f us %.2fx;", kOperators[op], t, floor > 0.0 ? t / floor : 0.0);
    }
    const double first = times.Microseconds("BM_MathFirstPass");
    const double histogram = times.Microseconds("BM_MathHistogram");
    std::printf(
        "\nMATH product's passes alone: scores' extremes and sums %.1f us %.2fx; histogram "
        "%.1f us %.2fx\n",
        first, floor > 0.0 ? first / floor : 0.0, histogram, floor > 0.0 ? histogram / floor : 0.0);
    std::printf("(CPU microseconds, fastest repetition; target: one source <= 3x floor)\n");
}

}  // namespace

int main(int argc, char** argv) {
    return lumatrace::bench::RunWithSummary(argc, argv, PrintSummary);
}
