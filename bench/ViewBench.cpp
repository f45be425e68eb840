// One data arrival (the whole-record copy from FetchBuffer to WaveBuffer) plus RedrawAll on
// real 32-bit pictures, for records of 10k, 100k and 1M points shown whole on graticules 450
// and 1,700 pixels wide, in Sample and Envelope mode, both channels on. The yardstick, measured
// in the same run, is the floor: one plain pass that reads every word of the same record once.
// The copy alone and the redraw alone are timed too. A table of the ratios to the floor follows
// the benchmark output.
//
// MATH on its own at 1M points follows, in both modes and widths. The whole view at 1M points
// comes last: markers and both cursor pairs with MATH in Envelope mode, and with the spectrum
// in front (its transform of 524,288 points included, as a new record asks for one).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "app/display/QtViewSurfaces.h"
#include "app/display/SpectrumScales.h"
#include "app/display/ViewMarkers.h"
#include "app/display/ViewProcessing.h"
#include "app/display/ViewSpectrum.h"
#include "app/display/WaveBuffers.h"
#include "app/display/WaveView.h"
#include "bench/BenchSupport.h"
#include "fft/include/zep9100fft.h"

namespace {

using namespace lumatrace;

constexpr int kPoints[] = {10000, 100000, 1000000};
constexpr int kWidths[] = {450, 1700};
constexpr int kModes[] = {kWaveformSample, kWaveformEnvelope};

// The view as the main window holds it: pictures sized from the wave area, graticule built
// by a first redraw.
struct Scene {
    WaveView view;
    QtViewSurfaces surfaces;
    ViewSettings settings;

    Scene(int points, int width, int mode) {
        const int height = width * 8 / 10;
        view.Resize(width + 1, height + 1);
        surfaces.Resize(ViewImageSizes{
            {width + 1, height + 1}, {20, height + 12}, {20, height + 12}, {width + 52, 32}});
        settings.formReady = settings.displayInitialised = true;
        settings.runMode = kRunAuto;
        settings.recordSinceStart = settings.dataValid = true;
        settings.memoryPoints = points;
        settings.trigPosition = points / 2;
        settings.waveformMode = mode;
        view.Horizontal().ScreenSamples = points;
        view.RedrawAll(settings, surfaces);
    }
};

void BM_Floor(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    bench::FillNoisyRecord(FetchBuffer, points);
    TakeRecord(FetchBuffer, WaveBuffer);
    for (auto _ : state) {
        benchmark::DoNotOptimize(bench::ReadOnce(WaveBuffer.data(), points));
    }
}

void BM_TakeRecord(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kMaxRecordPoints);
    for (auto _ : state) {
        TakeRecord(FetchBuffer, WaveBuffer);
        benchmark::ClobberMemory();
    }
}

void RunRedraw(benchmark::State& state, bool withArrival) {
    const int points = static_cast<int>(state.range(0));
    bench::FillNoisyRecord(FetchBuffer, points);
    TakeRecord(FetchBuffer, WaveBuffer);
    Scene scene(points, static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    for (auto _ : state) {
        if (withArrival) {
            TakeRecord(FetchBuffer, WaveBuffer);
        }
        scene.view.RedrawAll(scene.settings, scene.surfaces);
    }
}

void BM_ArrivalAndRedraw(benchmark::State& state) {
    RunRedraw(state, true);
}

void BM_RedrawOnly(benchmark::State& state) {
    RunRedraw(state, false);
}

void RedrawArgs(benchmark::internal::Benchmark* b) {
    for (int points : kPoints) {
        for (int width : kWidths) {
            for (int mode : kModes) {
                b->Args({points, width, mode});
            }
        }
    }
    b->ArgNames({"points", "W", "mode"});
}

// Everything on at once: the layers the main window installs.
struct FullScene {
    bench::QuietAverageHost host;
    ViewMarkers markers;
    ViewProcessing processing{host};
    SpectrumAnalyzer analyzer{&Zep9100InitFft, &Zep9100CalcFft};
    ViewSpectrum spectrum{analyzer};
    Scene scene;

    FullScene(int width, bool spectrumInFront)
        : scene(kMaxRecordPoints, width, spectrumInFront ? kWaveformSample : kWaveformEnvelope) {
        WaveView& view = scene.view;
        view.SetMarkerLayer(&markers);
        view.SetProcessingLayer(&processing);
        view.SetSpectrumLayer(&spectrum);
        processing.SetMarkerLayer(&markers);
        spectrum.SetMarkerLayer(&markers);
        ViewSettings& s = scene.settings;
        s.cursorTOn = s.cursorVOn = true;
        if (spectrumInFront) {
            s.fftOn = true;
            s.traceOrder[kTraceFft] = 1;
            s.traceOrder[kTraceCh1] = 2;
            s.traceOrder[kTraceCh2] = 3;
            const int n = FftLengthFor(kMaxRecordPoints);
            Zep9100InitFft(n, FftStages(n), n / 2);
            analyzer.SetSource({0, 2, 50, 10, 250});
            SpectrumWindow& sp = view.Spectrum();
            sp.FftBins = n / 2;
            sp.BinsPerScreen = n / 2;
            sp.HalfScreenBins = n / 4;
            spectrum.Display().dbv = true;
            spectrum.Display().window = 2;
            spectrum.Display().fftScale = 20000;
            spectrum.Display().binWidthHz = 1.0L;
            spectrum.Display().hzPerDiv = n / 20.0L;
        } else {
            s.mathOn = true;
            MathSettings math;
            math.op = MathOperator::Sub;
            processing.SetMathSettings(math);
        }
    }
};

// One data arrival (with the spectrum's request it raises) and the redraw of everything.
void BM_FullView(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kMaxRecordPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    const bool spectrum = state.range(1) != 0;
    FullScene full(static_cast<int>(state.range(0)), spectrum);
    for (auto _ : state) {
        TakeRecord(FetchBuffer, WaveBuffer);
        if (spectrum) {
            full.analyzer.SetRecordOnShow(true);
            full.analyzer.RaiseRequest();
        }
        full.scene.view.RedrawAll(full.scene.settings, full.scene.surfaces);
    }
}

// The redraw with MATH on (the difference of the channels) and nothing else added, at 1M
// points, both modes and widths, with the data arrival.
void BM_MathRedraw(benchmark::State& state) {
    bench::FillNoisyRecord(FetchBuffer, kMaxRecordPoints);
    TakeRecord(FetchBuffer, WaveBuffer);
    bench::QuietAverageHost host;
    ViewProcessing processing{host};
    Scene scene(kMaxRecordPoints, static_cast<int>(state.range(0)),
                static_cast<int>(state.range(1)));
    scene.view.SetProcessingLayer(&processing);
    scene.settings.mathOn = true;
    MathSettings math;
    math.op = MathOperator::Sub;
    processing.SetMathSettings(math);
    for (auto _ : state) {
        TakeRecord(FetchBuffer, WaveBuffer);
        scene.view.RedrawAll(scene.settings, scene.surfaces);
    }
}

BENCHMARK(BM_Floor)->ArgName("points")->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_TakeRecord);
BENCHMARK(BM_ArrivalAndRedraw)->Apply(RedrawArgs);
BENCHMARK(BM_RedrawOnly)->Apply(RedrawArgs);
BENCHMARK(BM_MathRedraw)
    ->ArgNames({"W", "mode"})
    ->Args({450, kWaveformSample})
    ->Args({450, kWaveformEnvelope})
    ->Args({1700, kWaveformSample})
    ->Args({1700, kWaveformEnvelope});
BENCHMARK(BM_FullView)
    ->ArgNames({"W", "spectrum"})
    ->Args({450, 0})
    ->Args({1700, 0})
    ->Args({450, 1})
    ->Args({1700, 1});

void PrintSummary(const bench::FastestTimes& times) {
    auto find = [&](const std::string& name) { return times.Microseconds(name); };
    const double copy = find("BM_TakeRecord");
    std::printf("\n%-8s %-5s %-9s %10s %10s %10s %12s %9s\n", "points", "W", "mode", "floor us",
                "copy us", "redraw us", "arrival+rd", "x floor");
    for (int points : kPoints) {
        const double floor = find("BM_Floor/points:" + std::to_string(points));
        for (int width : kWidths) {
            for (int mode : kModes) {
                const std::string args = "/points:" + std::to_string(points) +
                                         "/W:" + std::to_string(width) +
                                         "/mode:" + std::to_string(mode);
                const double total = find("BM_ArrivalAndRedraw" + args);
                const double redraw = find("BM_RedrawOnly" + args);
                if (total <= 0.0) {
                    continue;
                }
                std::printf("%-8d %-5d %-9s %10.1f %10.1f %10.1f %12.1f %8.2fx\n", points, width,
                            mode == kWaveformEnvelope ? "envelope" : "sample", floor, copy, redraw,
                            total, floor > 0.0 ? total / floor : 0.0);
            }
        }
    }
    std::printf(
        "(CPU microseconds, fastest repetition; x floor: arrival + redraw / one read of the "
        "record)\n");
    const double floor = find("BM_Floor/points:1000000");
    std::printf("\n%-34s %-5s %12s %9s\n", "MATH (CH1 - CH2) at 1M points", "W", "arrival+rd",
                "x floor");
    for (int width : kWidths) {
        for (int mode : kModes) {
            const double total =
                find("BM_MathRedraw/W:" + std::to_string(width) + "/mode:" + std::to_string(mode));
            if (total > 0.0) {
                std::printf("%-34s %-5d %12.1f %8.2fx\n",
                            mode == kWaveformEnvelope ? "MATH, envelope" : "MATH, sample", width,
                            total, floor > 0.0 ? total / floor : 0.0);
            }
        }
    }
    std::printf("\n%-34s %-5s %12s %9s\n", "whole view at 1M points", "W", "arrival+rd", "x floor");
    for (int spectrum : {0, 1}) {
        for (int width : kWidths) {
            const double total = find("BM_FullView/W:" + std::to_string(width) +
                                      "/spectrum:" + std::to_string(spectrum));
            if (total > 0.0) {
                std::printf(
                    "%-34s %-5d %12.1f %8.2fx\n",
                    spectrum ? "markers, cursors, spectrum" : "markers, cursors, MATH, envelope",
                    width, total, floor > 0.0 ? total / floor : 0.0);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    return lumatrace::bench::RunWithSummary(argc, argv, PrintSummary);
}
