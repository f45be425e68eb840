// Zep9100CalcFft at the program's three lengths and four windows, beside two yardsticks measured
// in the same run: the literal radix-2 transform (the test oracle) and the same job done with
// FFTW (decode and window the codes, r2c with a plan made by FFTW_MEASURE outside the timed
// loop, normalise, fill all n bins). Each kernel build is also timed on its own. A table of the
// ratios to FFTW follows the benchmark output. On a shared machine run it with, for example,
// --benchmark_repetitions=5 --benchmark_report_aggregates_only=true.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <time.h>

#include "fft/include/zep9100fft.h"
#include "fft/src/FftEngine.h"
#include "fft/src/FftKernels.h"
#include "fft/tests/FftOracle.h"

namespace {

using lumatrace::fft::FftEngine;
using lumatrace::fft::FftKernel;
using lumatrace::fft::windowWeight;
using lumatrace::fft::testing::FftOracle;

constexpr int32_t kLengths[] = {8192, 65536, 524288};
const char* const kWindowNames[] = {"rect", "hamming", "hann", "blackman"};

int32_t stagesOf(int32_t n) {
    int32_t s = 0;
    while ((int32_t{1} << s) < n) {
        ++s;
    }
    return s;
}

// A noisy sine on CH1 with a few missing samples, like a real record.
std::vector<uint32_t> record(int32_t n) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-30, 30);
    std::vector<uint32_t> words(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const double s = 512.0 + 400.0 * std::sin(6.283185307179586 * 37.3 * i / n);
        words[static_cast<std::size_t>(i)] =
            static_cast<uint32_t>(std::clamp(static_cast<int>(s) + noise(rng), 0, 1023)) |
            (300u << 16);
        if (rng() % 500 == 0) {
            words[static_cast<std::size_t>(i)] = ZEP9100FFT_NO_SAMPLE;
        }
    }
    return words;
}

FftParams params(int32_t window) {
    FftParams p;
    p.shift = 0;
    p.window = window;
    p.rangeMv = 1000.0;
    p.offsetCodes = 20.48;
    return p;
}

// The same job on FFTW.
class FftwJob {
  public:
    explicit FftwJob(int32_t n)
        : n_(n),
          in_(fftw_alloc_real(static_cast<std::size_t>(n))),
          out_(fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1))),
          plan_(fftw_plan_dft_r2c_1d(n, in_, out_, FFTW_MEASURE)) {
        for (int32_t w = 1; w <= 3; ++w) {
            std::vector<double>& t = windows_[w];
            t.resize(static_cast<std::size_t>(n));
            for (int32_t i = 0; i < n; ++i) {
                t[static_cast<std::size_t>(i)] = windowWeight(w, i, n);
            }
        }
    }
    ~FftwJob() {
        fftw_destroy_plan(plan_);
        fftw_free(out_);
        fftw_free(in_);
    }
    FftwJob(const FftwJob&) = delete;
    FftwJob& operator=(const FftwJob&) = delete;

    void run(const FftParams& p, const uint32_t* samples, double* re, double* im) {
        double volts[1024];
        for (int c = 0; c < 1024; ++c) {
            volts[c] = (p.rangeMv * (c - p.offsetCodes) * (1.0 / 1024) - p.rangeMv * 0.5) * 0.001;
        }
        const int shift = p.shift & 31;
        const int32_t n = n_;
        auto value = [&](int32_t i) {
            const uint32_t w = samples[i];
            return w == ZEP9100FFT_NO_SAMPLE ? 0.0 : volts[(w >> shift) & 0x3FF];
        };
        if (p.window >= 1 && p.window <= 3) {
            const double* win = windows_[p.window].data();
            for (int32_t i = 0; i < n; ++i) {
                in_[i] = value(i) * win[i];
            }
        } else {
            for (int32_t i = 0; i < n; ++i) {
                in_[i] = value(i);
            }
        }
        fftw_execute(plan_);
        const int32_t m = n / 2;
        const double scale = 1.0 / m;
        re[0] = out_[0][0] / n;
        im[0] = 0.0;
        for (int32_t k = 1; k < m; ++k) {
            const double r = out_[k][0] * scale;
            const double i = out_[k][1] * scale;
            re[k] = r;
            im[k] = i;
            re[n - k] = r;
            im[n - k] = -i;
        }
        re[m] = out_[m][0] * scale;
        im[m] = 0.0;
    }

  private:
    int32_t n_;
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
    std::vector<double> windows_[4];
};

FftwJob& fftwJob(int32_t n) {
    static std::map<int32_t, std::unique_ptr<FftwJob>> jobs;
    auto& job = jobs[n];
    if (!job) {
        job = std::make_unique<FftwJob>(n);
    }
    return *job;
}

// Largest difference from the library's result, relative to its largest magnitude.
double relativeDifference(const std::vector<double>& re, const std::vector<double>& im,
                          const std::vector<double>& refRe, const std::vector<double>& refIm) {
    double largest = 0.0;
    double worst = 0.0;
    for (std::size_t k = 0; k < re.size(); ++k) {
        largest = std::max(largest, std::hypot(refRe[k], refIm[k]));
        worst = std::max({worst, std::abs(re[k] - refRe[k]), std::abs(im[k] - refIm[k])});
    }
    return largest > 0.0 ? worst / largest : worst;
}

void BM_Zep9100CalcFft(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const FftParams p = params(static_cast<int32_t>(state.range(1)));
    const auto words = record(n);
    std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    if (Zep9100InitFft(n, stagesOf(n), n / 2) != 1) {
        state.SkipWithError("Zep9100InitFft failed");
        return;
    }
    Zep9100CalcFft(&p, words.data(), re.data(), im.data());  // builds the window table
    for (auto _ : state) {
        benchmark::DoNotOptimize(Zep9100CalcFft(&p, words.data(), re.data(), im.data()));
        benchmark::ClobberMemory();
    }
}

void BM_Fftw(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const FftParams p = params(static_cast<int32_t>(state.range(1)));
    const auto words = record(n);
    std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    FftwJob& job = fftwJob(n);

    // It must be the same job: compare with the library once.
    std::vector<double> refRe(re.size()), refIm(im.size());
    Zep9100InitFft(n, stagesOf(n), n / 2);
    Zep9100CalcFft(&p, words.data(), refRe.data(), refIm.data());
    job.run(p, words.data(), re.data(), im.data());
    if (relativeDifference(re, im, refRe, refIm) > 1e-9) {
        state.SkipWithError("FFTW result differs from the library's");
        return;
    }
    for (auto _ : state) {
        job.run(p, words.data(), re.data(), im.data());
        benchmark::ClobberMemory();
    }
}

void BM_Oracle(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const FftParams p = params(static_cast<int32_t>(state.range(1)));
    const auto words = record(n);
    std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    FftOracle oracle(n, stagesOf(n), n / 2);
    for (auto _ : state) {
        oracle.calc(p, words.data(), re.data(), im.data());
        benchmark::ClobberMemory();
    }
}

double threadCpuMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

// The library and the FFTW job called alternately, each timed in CPU time, so that both see the
// same machine at the same moment; the counter vs_fftw is the median of the per-pair ratios.
void BM_VsFftw(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const FftParams p = params(static_cast<int32_t>(state.range(1)));
    const auto words = record(n);
    std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    FftwJob& job = fftwJob(n);
    if (Zep9100InitFft(n, stagesOf(n), n / 2) != 1) {
        state.SkipWithError("Zep9100InitFft failed");
        return;
    }
    Zep9100CalcFft(&p, words.data(), re.data(), im.data());
    job.run(p, words.data(), re.data(), im.data());
    std::vector<double> ratios;
    for (auto _ : state) {
        const double t0 = threadCpuMicroseconds();
        Zep9100CalcFft(&p, words.data(), re.data(), im.data());
        const double t1 = threadCpuMicroseconds();
        job.run(p, words.data(), re.data(), im.data());
        const double t2 = threadCpuMicroseconds();
        benchmark::ClobberMemory();
        if (t2 > t1) {
            ratios.push_back((t1 - t0) / (t2 - t1));
        }
    }
    if (!ratios.empty()) {
        std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
        state.counters["vs_fftw"] = ratios[ratios.size() / 2];
    }
}

// One kernel build, through the engine, on this machine if it can run it.
void BM_Kernel(benchmark::State& state, int kernelIndex) {
    const FftKernel& kernel = lumatrace::fft::kernelAt(kernelIndex);
    if (!kernel.supported()) {
        state.SkipWithError("not supported by this CPU");
        return;
    }
    const auto n = static_cast<int32_t>(state.range(0));
    const FftParams p = params(static_cast<int32_t>(state.range(1)));
    const auto words = record(n);
    std::vector<double> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    FftEngine engine;
    if (!engine.init(n, stagesOf(n), n / 2)) {
        state.SkipWithError("init failed");
        return;
    }
    engine.calc(kernel, &p, words.data(), re.data(), im.data());
    for (auto _ : state) {
        engine.calc(kernel, &p, words.data(), re.data(), im.data());
        benchmark::ClobberMemory();
    }
}

void lengthsAndWindows(benchmark::internal::Benchmark* b) {
    b->ArgNames({"n", "window"});
    for (int32_t n : kLengths) {
        for (int32_t w = 0; w < 4; ++w) {
            b->Args({n, w});
        }
    }
    b->Unit(benchmark::kMicrosecond);
    b->ComputeStatistics(
        "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BM_Zep9100CalcFft)->Apply(lengthsAndWindows);
BENCHMARK(BM_Fftw)->Apply(lengthsAndWindows);
BENCHMARK(BM_Oracle)->Apply(lengthsAndWindows)->Iterations(3);
BENCHMARK(BM_VsFftw)->Apply(lengthsAndWindows);

// Collects the real time per iteration of each run for the summary table.
class Collector : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            // Each repetition, or the "min" aggregate when only aggregates are reported.
            const bool repetition = r.run_type == Run::RT_Iteration;
            const bool fastest = r.run_type == Run::RT_Aggregate && r.aggregate_name == "min";
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            const auto ratio = r.counters.find("vs_fftw");
            if (!r.error_occurred && ratio != r.counters.end() && (repetition || median)) {
                ratios[r.run_name.str()].push_back(ratio->second.value);
            }
            if (r.error_occurred || !(repetition || fastest)) {
                continue;
            }
            // CPU time: on a shared machine the wall clock also counts other processes' turns.
            const double t = r.GetAdjustedCPUTime();
            auto [it, added] = times.emplace(r.run_name.str(), t);
            if (!added) {
                it->second = std::min(it->second, t);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;                // CPU microseconds, the fastest repetition
    std::map<std::string, std::vector<double>> ratios;  // vs_fftw of the repetitions or median
};

void printSummary(const Collector& c) {
    auto find = [&](const std::string& name) {
        auto it = c.times.find(name);
        return it == c.times.end() ? -1.0 : it->second;
    };
    auto medianRatio = [&](const std::string& name) {
        auto it = c.ratios.find(name);
        if (it == c.ratios.end() || it->second.empty()) {
            return -1.0;
        }
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("\n%-8s %-9s %12s %12s %10s %12s %10s\n", "n", "window", "library us", "FFTW us",
                "vs FFTW", "oracle us", "speed-up");
    for (int32_t n : kLengths) {
        for (int32_t w = 0; w < 4; ++w) {
            const std::string args = "/n:" + std::to_string(n) + "/window:" + std::to_string(w);
            const double lib = find("BM_Zep9100CalcFft" + args);
            const double fftw = find("BM_Fftw" + args);
            const double oracle = find("BM_Oracle" + args + "/iterations:3");
            if (lib <= 0.0) {
                continue;
            }
            auto cell = [](double v, const char* format) {
                char text[32] = "-";
                if (v > 0.0) {
                    std::snprintf(text, sizeof text, format, v);
                }
                return std::string(text);
            };
            const double ratio = medianRatio("BM_VsFftw" + args);
            std::printf("%-8d %-9s %12s %12s %10s %12s %10s\n", n, kWindowNames[w],
                        cell(lib, "%.1f").c_str(), cell(fftw, "%.1f").c_str(),
                        cell(ratio, "%.2fx").c_str(), cell(oracle, "%.1f").c_str(),
                        cell(oracle > 0.0 ? oracle / lib : 0.0, "%.0fx").c_str());
        }
    }
    std::printf(
        "(times: CPU time of the fastest repetition. vs FFTW: library time / FFTW job time,\n"
        " median over calls made in alternation (BM_VsFftw); below 1 is faster.)\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 0; i < lumatrace::fft::kernelCount(); ++i) {
        const std::string name = std::string("BM_Kernel_") + lumatrace::fft::kernelAt(i).name;
        benchmark::RegisterBenchmark(name.c_str(), BM_Kernel, i)->Apply(lengthsAndWindows);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    printSummary(collector);
    benchmark::Shutdown();
    return 0;
}
