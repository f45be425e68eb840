// The spectrum at its heaviest, 524,288 points of a 1M-point record: one transform through the
// program's path (snapshot of the record, library call) and one spectrum redraw with every bin
// on screen, on real 32-bit pictures 450 and 1,700 pixels wide. Yardsticks measured in the same
// run: the bare library call on the same words, and one plain read of the record. A table of
// the ratios follows the benchmark output.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "app/display/QtViewSurfaces.h"
#include "app/display/Spectrum.h"
#include "app/display/SpectrumScales.h"
#include "app/display/ViewSpectrum.h"
#include "app/display/WaveBuffers.h"
#include "app/display/WaveView.h"
#include "bench/BenchSupport.h"

namespace {

using namespace lumatrace;

constexpr int kN = 524288;
constexpr int kWidths[] = {450, 1700};

// Two tones and noise on CH1 of a 1M-point record.
void FillRecord() {
    std::uint32_t state = 12345;
    for (int i = 0; i < kMaxRecordPoints; ++i) {
        state = state * 1664525u + 1013904223u;
        const int noise = static_cast<int>((state >> 8) % 21) - 10;
        const double t = 6.283185307179586 * i / kN;
        const int c = std::clamp(
            512 + static_cast<int>(300 * std::sin(1000 * t) + 50 * std::sin(77777 * t)) + noise, 0,
            1023);
        WaveBuffer[static_cast<std::size_t>(i)] = MakeSampleWord(c, 512);
    }
}

SpectrumAnalyzer& Analyzer() {
    static SpectrumAnalyzer* analyzer = [] {
        auto* a = new SpectrumAnalyzer(&Zep9100InitFft, &Zep9100CalcFft);
        FillRecord();
        a->SetSource({0, 2, 500, 1, 250});
        a->SetRecordOnShow(true);
        Zep9100InitFft(kN, FftStages(kN), kN / 2);
        return a;
    }();
    return *analyzer;
}

struct Scene {
    WaveView view;
    QtViewSurfaces surfaces;
    ViewSettings settings;
    ViewSpectrum layer{Analyzer()};

    explicit Scene(int width) {
        const int height = width * 8 / 10;
        view.Resize(width + 1, height + 1);
        surfaces.Resize(ViewImageSizes{
            {width + 1, height + 1}, {20, height + 12}, {20, height + 12}, {width + 52, 32}});
        settings.formReady = settings.displayInitialised = true;
        settings.dataValid = true;
        settings.fftOn = true;
        settings.memoryPoints = kMaxRecordPoints;
        settings.traceOrder[kTraceFft] = 1;
        SpectrumWindow& sp = view.Spectrum();
        sp.FftBins = kN / 2;
        sp.BinsPerScreen = kN / 2;
        sp.HalfScreenBins = kN / 4;
        layer.Display().dbv = true;
        layer.Display().window = 2;
        layer.Display().fftScale = 20000;
        layer.Display().binWidthHz = 1.0L;
        layer.Display().hzPerDiv = kN / 20.0L;
    }

    void Draw() {
        RedrawContext ctx{view, settings, view.Geometry(), view.Horizontal(), surfaces};
        layer.DrawSpectrum(ctx);
    }
};

void BM_ReadRecord(benchmark::State& state) {
    Analyzer();
    for (auto _ : state)
        benchmark::DoNotOptimize(bench::ReadOnce(WaveBuffer.data(), kMaxRecordPoints));
}

void BM_BareFft(benchmark::State& state) {
    Analyzer();
    TakeRecord(WaveBuffer, FftInputSnapshot);
    static std::vector<double> re(kN), im(kN);
    const FftParams params = MakeFftParams({0, 2, 500, 1, 250});
    for (auto _ : state) {
        Zep9100CalcFft(&params, FftInputSnapshot.data(), re.data(), im.data());
        benchmark::ClobberMemory();
    }
}

void BM_ComputeSpectrum(benchmark::State& state) {
    SpectrumAnalyzer& a = Analyzer();
    for (auto _ : state) {
        a.RaiseRequest();
        benchmark::DoNotOptimize(a.ComputeSpectrum());
    }
}

void BM_DrawSpectrum(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    Analyzer().RaiseRequest();
    Analyzer().ComputeSpectrum();
    for (auto _ : state) {
        scene.Draw();
        scene.surfaces.Finish();
    }
}

void BM_ComputeAndDraw(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Analyzer().RaiseRequest();
        scene.Draw();  // transforms inside the redraw, as outside the roll configuration
        scene.surfaces.Finish();
    }
}

BENCHMARK(BM_ReadRecord);
BENCHMARK(BM_BareFft)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeSpectrum)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrum)->ArgName("W")->Arg(450)->Arg(1700)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComputeAndDraw)->ArgName("W")->Arg(450)->Arg(1700)->Unit(benchmark::kMillisecond);

void PrintSummary(const bench::FastestTimes& times) {
    auto find = [&](const std::string& name) {
        const double us = times.Microseconds(name);
        return us < 0 ? -1.0 : us / 1e3;  // ms
    };
    const double read = find("BM_ReadRecord");
    const double fft = find("BM_BareFft");
    const double compute = find("BM_ComputeSpectrum");
    std::printf("\n%-22s %10s %10s %10s\n", "", "ms", "x bareFFT", "x read");
    auto row = [&](const std::string& label, double ms) {
        if (ms < 0)
            return;
        std::printf("%-22s %10.3f %10.2f %10.1f\n", label.c_str(), ms, fft > 0 ? ms / fft : 0.0,
                    read > 0 ? ms / read : 0.0);
    };
    row("read of the record", read);
    row("bare library call", fft);
    row("ComputeSpectrum", compute);
    for (int w : kWidths) {
        row("DrawSpectrum W=" + std::to_string(w), find("BM_DrawSpectrum/W:" + std::to_string(w)));
        row("compute+draw W=" + std::to_string(w),
            find("BM_ComputeAndDraw/W:" + std::to_string(w)));
    }
    std::printf("(CPU time, fastest repetition, 524,288-point FFT of a 1M-point record)\n");
}

}  // namespace

int main(int argc, char** argv) {
    return lumatrace::bench::RunWithSummary(argc, argv, PrintSummary);
}
