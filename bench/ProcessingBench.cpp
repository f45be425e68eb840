// Averaging and the MATH trace at the largest record.
//
// One averaging step over 1,000,000 points with N = 2 and N = 128 (the largest history that
// record allows), with its yardstick measured in the same run: a plain copy of the 4 MB record.
// At N = 128 the history's row comes from main memory; a bare swap of such a row with the
// record shows how far below that no step can go. Then
// RedrawAll with both channels on, MATH off or with each of its four operators, in Sample,
// Envelope and Average mode (the step included), on graticules 450 and 1,700 pixels wide,
// against the floor of one pass that reads every word. A table of the ratios follows the benchmark
// output.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/display/QtViewSurfaces.h"
#include "app/display/ViewProcessing.h"
#include "app/display/WaveBuffers.h"
#include "app/display/WaveView.h"
#include "bench/BenchSupport.h"

namespace {

using namespace lumatrace;

constexpr int kPoints = 1000000;
constexpr int kDepth = 128;
constexpr int kWidths[] = {450, 1700};
constexpr int kModes[] = {kWaveformSample, kWaveformEnvelope, kWaveformAverage};
// The MATH operators by their index (MathOperator); kMathOff draws CH1 and CH2 only.
constexpr int kMathOff = -1;
constexpr int kOperators[] = {0, 1, 2, 3};
constexpr const char* kOperatorNames[] = {"+", "-", "x", "/"};
constexpr const char* kModeNames[] = {"sample", "average", "envelope"};

AverageConditions Averaging(int depth) {
    AverageConditions c;
    c.running = true;
    c.waveformMode = kWaveformAverage;
    c.memoryPoints = kPoints;
    c.acquireCount = depth;
    return c;
}

// A history whose every row has been written once, so that the timed steps meet no fresh pages.
void FillRing(AverageHistory& history, SampleWord* record, int depth) {
    bool resize = true;
    if (!history.PrepareAverage(Averaging(depth), resize))
        std::abort();
    for (int k = 0; k < depth; ++k)
        history.AverageStep(record, kPoints);
}

void BM_Floor(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::ReadOnce(WaveBuffer.data(), kPoints));
}

void BM_Copy4MB(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kPoints);
    for (auto _ : state) {
        std::memcpy(WaveBuffer.data(), FetchBuffer.data(), kPoints * sizeof(SampleWord));
        benchmark::ClobberMemory();
    }
}

void BM_AverageStep(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    bench::QuietAverageHost host;
    AverageHistory history(host);
    FillRing(history, WaveBuffer.data(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        history.AverageStep(WaveBuffer.data(), kPoints);
        benchmark::ClobberMemory();
    }
}

// What no averaging step can go below at N = 128: the 4 MB row of a 512 MB history comes from
// main memory and goes back there with the new codes (the record's words swapped with it, one
// 32-bit entry per point, read and written once, 16 bytes at a time).
void BM_HistoryRowSwap(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    const std::size_t rowWords = kPoints;
    std::vector<std::uint32_t> ring(rowWords * kDepth, 0);
    int slot = 0;
    for (auto _ : state) {
        std::uint32_t* row = ring.data() + static_cast<std::size_t>(slot) * rowWords;
        std::uint32_t* record = WaveBuffer.data();
        std::size_t i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= rowWords; i += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(record + i), a);
        }
#endif
        for (; i < rowWords; ++i)
            std::swap(row[i], record[i]);
        benchmark::ClobberMemory();
        slot = (slot + 1) % kDepth;
    }
}

// What restoring a whole picture from the graticule's costs: one copy of a 32-bit picture of the
// redraw's size (the redraw restores only what the last frame drew on, which for noisy bars at
// W = 1,700 is most of it, and then paints the new bars over the same cache lines).
void BM_PictureCopy(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const std::size_t pixels =
        static_cast<std::size_t>(width + 1) * static_cast<std::size_t>(width * 8 / 10 + 1);
    std::vector<std::uint32_t> grid(pixels, 0xFF000000u);
    std::vector<std::uint32_t> wave(pixels, 0xFFFFFFFFu);
    for (auto _ : state) {
        std::memcpy(wave.data(), grid.data(), pixels * sizeof(std::uint32_t));
        benchmark::ClobberMemory();
    }
}

struct Scene {
    bench::QuietAverageHost host;
    ViewProcessing processing{host};
    WaveView view;
    QtViewSurfaces surfaces;
    ViewSettings settings;

    Scene(int width, int mode, int op) {
        const int height = width * 8 / 10;
        view.Resize(width + 1, height + 1);
        surfaces.Resize(ViewImageSizes{
            {width + 1, height + 1}, {20, height + 12}, {20, height + 12}, {width + 52, 32}});
        view.SetProcessingLayer(&processing);
        MathSettings math;
        // CH2 swings through its zero code, so the quotient meets division by zero.
        math.op = op == kMathOff ? MathOperator::Mul : static_cast<MathOperator>(op);
        math.mathScale = 200;
        processing.SetMathSettings(math);
        settings.formReady = settings.displayInitialised = true;
        settings.runMode = kRunAuto;
        settings.recordSinceStart = settings.dataValid = true;
        settings.memoryPoints = kPoints;
        settings.trigPosition = kPoints / 2;
        settings.waveformMode = mode;
        settings.mathOn = op != kMathOff;
        view.Horizontal().ScreenSamples = kPoints;
        if (mode == kWaveformAverage)
            FillRing(processing.History(), WaveBuffer.data(), kDepth);
        view.RedrawAll(settings, surfaces);
    }
};

void BM_Redraw(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    Scene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                static_cast<int>(state.range(2)));
    for (auto _ : state)
        scene.view.RedrawAll(scene.settings, scene.surfaces);
}

void RedrawArgs(benchmark::internal::Benchmark* b) {
    for (int width : kWidths) {
        for (int mode : kModes) {
            b->Args({width, mode, kMathOff});
            for (int op : kOperators) {
                // Averaging is timed with the product only: the step, not the operator, is what
                // that mode adds.
                if (mode != kWaveformAverage || op == static_cast<int>(MathOperator::Mul))
                    b->Args({width, mode, op});
            }
        }
    }
    b->ArgNames({"W", "mode", "op"});
}

BENCHMARK(BM_Floor);
BENCHMARK(BM_Copy4MB);
// N = 2 keeps the ring in the cache; N = 128 streams a 4 MB row of it from memory.
BENCHMARK(BM_AverageStep)->ArgName("N")->Arg(2)->Arg(kDepth);
BENCHMARK(BM_HistoryRowSwap);
BENCHMARK(BM_PictureCopy)->ArgName("W")->Arg(kWidths[0])->Arg(kWidths[1]);
BENCHMARK(BM_Redraw)->Apply(RedrawArgs);

void PrintSummary(const bench::FastestTimes& times) {
    auto find = [&](const std::string& name) { return times.Microseconds(name); };
    const double floor = find("BM_Floor");
    const double copy = find("BM_Copy4MB");
    const double step = find("BM_AverageStep/N:" + std::to_string(kDepth));
    const double step2 = find("BM_AverageStep/N:2");
    std::printf("\naveraging step, 1M points, N = %d: %.1f us; 4 MB copy %.1f us; %.2fx copy\n",
                kDepth, step, copy, copy > 0.0 ? step / copy : 0.0);
    std::printf("averaging step, 1M points, N = 2: %.1f us; %.2fx copy\n", step2,
                copy > 0.0 ? step2 / copy : 0.0);
    const double swap = find("BM_HistoryRowSwap");
    std::printf("history row swap (N = %d, main memory): %.1f us; %.2fx copy; step %.2fx swap\n",
                kDepth, swap, copy > 0.0 ? swap / copy : 0.0, swap > 0.0 ? step / swap : 0.0);
    std::printf("\n%-5s %-9s %9s %11s", "W", "mode", "floor us", "no MATH us");
    for (const char* name : kOperatorNames)
        std::printf(" %9s us %6s", name, "xfloor");
    std::printf("\n");
    for (int width : kWidths) {
        for (int mode : kModes) {
            const std::string args =
                "BM_Redraw/W:" + std::to_string(width) + "/mode:" + std::to_string(mode) + "/op:";
            const double without = find(args + std::to_string(kMathOff));
            if (without <= 0.0)
                continue;
            std::printf("%-5d %-9s %9.1f %11.1f", width, kModeNames[mode], floor, without);
            for (int op : kOperators) {
                const double with = find(args + std::to_string(op));
                if (with <= 0.0)
                    std::printf(" %12s %6s", "-", "-");
                else
                    std::printf(" %12.1f %5.2fx", with, floor > 0.0 ? with / floor : 0.0);
            }
            std::printf("\n");
        }
    }
    std::printf(
        "(CPU microseconds, fastest repetition; CH1 and CH2 on, MATH off or with each operator; "
        "x floor: the redraw with MATH over one read of the record)\n");
    for (int width : kWidths) {
        const double copy = find("BM_PictureCopy/W:" + std::to_string(width));
        std::printf("one copy of the whole %d-wide picture: %.1f us, %.2fx floor\n", width, copy,
                    floor > 0.0 ? copy / floor : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return lumatrace::bench::RunWithSummary(argc, argv, PrintSummary);
}
