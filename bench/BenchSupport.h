// What the display benchmarks share: a test record, the floor of reading it once, a reporter
// that keeps each benchmark's fastest repetition, and a main with a GUI application (pictures
// and fonts need one, not a display).
#pragma once

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/display/AverageHistory.h"
#include "app/display/SampleWord.h"
#include "app/display/WaveBuffers.h"

namespace lumatrace::bench {

// A noisy sine on CH1 and cosine on CH2 over `points` samples, NoSample past them.
inline void FillNoisyRecord(SampleBuffer& record, int points) {
    ClearRecord(record);
    std::uint32_t state = 12345;
    for (int i = 0; i < points; ++i) {
        state = state * 1664525u + 1013904223u;
        const int noise1 = static_cast<int>((state >> 8) % 61) - 30;
        const int noise2 = static_cast<int>((state >> 20) % 61) - 30;
        const double t = 6.283185307179586 * 13.0 * i / points;
        const int c1 = std::clamp(512 + static_cast<int>(350 * std::sin(t)) + noise1, 0, 1023);
        const int c2 =
            std::clamp(400 + static_cast<int>(250 * std::cos(1.7 * t)) + noise2, 0, 1023);
        record[static_cast<std::size_t>(i)] = MakeSampleWord(c1, c2);
    }
}

// Averaging without a window: memory is never short, nothing stops it.
class QuietAverageHost final : public AverageHost {
  public:
    std::optional<std::uint64_t> AvailablePhysicalMemory() override { return std::nullopt; }
    void StopAcquisition() override {}
    MessageBoxService& Messages() override { std::abort(); }
    void SetWaitCursor(bool) override {}
    bool KeepAveraging() override { return true; }
};

// The floor: one plain pass that reads every word of the record, a cache line per step (four
// 16-byte loads into four sums), so that the yardstick is the memory and not how the compiler
// happened to build a loop whose length it does not know. It is a function of its own that
// starts on a 64-byte boundary: inlined into each benchmark, the same loop ran 1.5 times as
// long in one binary as in another, by whether the linker left it across an instruction-fetch
// line, and the ratios to it did not compare between builds.
[[gnu::noinline, gnu::aligned(64)]] inline std::uint64_t ReadOnce(const SampleWord* words,
                                                                  int points) {
    std::uint64_t sum = 0;
    int i = 0;
#if defined(__SSE2__)
    __m128i acc0 = _mm_setzero_si128();
    __m128i acc1 = _mm_setzero_si128();
    __m128i acc2 = _mm_setzero_si128();
    __m128i acc3 = _mm_setzero_si128();
    for (; i + 16 <= points; i += 16) {
        const auto* line = reinterpret_cast<const __m128i*>(words + i);
        acc0 = _mm_add_epi32(acc0, _mm_loadu_si128(line));
        acc1 = _mm_add_epi32(acc1, _mm_loadu_si128(line + 1));
        acc2 = _mm_add_epi32(acc2, _mm_loadu_si128(line + 2));
        acc3 = _mm_add_epi32(acc3, _mm_loadu_si128(line + 3));
    }
    alignas(16) std::uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                    _mm_add_epi32(_mm_add_epi32(acc0, acc1), _mm_add_epi32(acc2, acc3)));
    for (std::uint32_t lane : lanes) {
        sum += lane;
    }
#endif
    for (; i < points; ++i) {
        sum += words[i];
    }
    return sum;
}

// Keeps each benchmark's fastest repetition in CPU time (the machine may be shared).
class FastestTimes : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
                const double seconds =
                    r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
                auto [it, added] = seconds_.emplace(r.benchmark_name(), seconds);
                if (!added) {
                    it->second = std::min(it->second, seconds);
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Microseconds per iteration, -1 when the benchmark did not run.
    double Microseconds(const std::string& name) const {
        const auto it = seconds_.find(name);
        return it == seconds_.end() ? -1.0 : it->second * 1e6;
    }

  private:
    std::map<std::string, double> seconds_;
};

// Runs the registered benchmarks on the offscreen platform, then prints the summary.
inline int RunWithSummary(int argc, char** argv,
                          const std::function<void(const FastestTimes&)>& summary) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    FastestTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    summary(times);
    benchmark::Shutdown();
    return 0;
}

}  // namespace lumatrace::bench
