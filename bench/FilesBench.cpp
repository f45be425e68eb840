// Saving and loading a 1M-point waveform file set (100 CSV files) on the local
// file system, against the floor measured in the same run: the same bytes
// written and read back with one store call per file. The ratios are printed
// at the end, from each benchmark's fastest repetition (the machine may be
// shared: run with --benchmark_repetitions=N).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/files/WaveformFiles.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace {

using namespace lumatrace;
namespace fs = std::filesystem;

class NullHost final : public SettingsRestoreHost {
  public:
    void SetItemIndex(std::string_view, int) override {}
    void SetChecked(std::string_view, bool) override {}
    void SetDown(std::string_view, bool) override {}
    void SetMirror(std::string_view, int, long double) override {}
};

struct Rig {
    fs::path dir =
        fs::temp_directory_path() / ("lumatrace-files-bench-" + std::to_string(::getpid()));
    fs::path index = dir / "set.zep";
    LocalFileStore files;
    testing::RecordingMessageBox messages;
    WaveformFileSettings settings;
    std::vector<SampleWord> record = std::vector<SampleWord>(kRecordWords);
    std::vector<fs::path> paths;  // the index file and the 100 CSV files
    std::vector<std::vector<std::uint8_t>> bytes;

    Rig() {
        fs::create_directories(dir);
        settings.channel[0] = {true, "1V", 6, 1000, "x1", 0, 1, "DC", 0, 250, 0};
        settings.channel[1] = {true, "100mV", 3, 100, "x10", 1, 10, "DC", 0, 180, 0};
        settings.memoryPoints = 1000000;
        for (std::size_t i = 0; i < record.size(); ++i) {
            const unsigned a = static_cast<unsigned>((i * 37) % 1024);
            const unsigned b = static_cast<unsigned>((i * 101 + 5) % 1024);
            record[i] = i % 4999 == 0 ? 0xFFFFFFFFu : (b << 16) | a;
        }
        record[1000000] = 0xFFFFFFFFu;  // beyond the 1M points: loads as no sample
        SaveWaveformFile(files, messages, index, settings, record, "2026/12/10 9:05:07");
        paths.push_back(index);
        for (int k = 0; k < 100; ++k) {
            paths.push_back(WaveformSetCsvFile(index, k));
        }
        for (const fs::path& p : paths) {
            bytes.emplace_back();
            files.ReadAll(p, bytes.back());
        }
    }
    ~Rig() { fs::remove_all(dir); }
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

void BM_WriteFloor(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) {
        for (std::size_t i = 0; i < rig.paths.size(); ++i) {
            rig.files.WriteAtomically(rig.paths[i], rig.bytes[i]);
        }
    }
}

void BM_SaveSet(benchmark::State& state) {
    Rig& rig = TheRig();
    for (auto _ : state) {
        if (SaveWaveformFile(rig.files, rig.messages, rig.index, rig.settings, rig.record,
                             "2026/12/10 9:05:07") != SaveResult::Saved) {
            state.SkipWithError("save failed");
            break;
        }
    }
}

void BM_ReadFloor(benchmark::State& state) {
    Rig& rig = TheRig();
    std::vector<std::uint8_t> data;
    for (auto _ : state) {
        for (const fs::path& p : rig.paths) {
            rig.files.ReadAll(p, data);
            benchmark::DoNotOptimize(data.data());
        }
    }
}

void BM_LoadSet(benchmark::State& state) {
    Rig& rig = TheRig();
    NullHost host;
    std::vector<SampleWord> loaded(kRecordWords);
    std::string message;
    for (auto _ : state) {
        if (!LoadWaveformFile(rig.files, rig.index, host, loaded, message)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(loaded.data());
    }
    if (loaded != rig.record) {
        state.SkipWithError("the loaded record differs");
    }
}

BENCHMARK(BM_WriteFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveSet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadSet)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the fastest real and CPU time per set of each benchmark's
// repetitions and prints the two ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred) {
                const double n = static_cast<double>(run.iterations);
                const Times t{run.real_accumulated_time / n, run.cpu_accumulated_time / n};
                const auto [it, added] = times_.emplace(run.benchmark_name(), t);
                if (!added) {
                    it->second = {std::min(it->second.real, t.real),
                                  std::min(it->second.cpu, t.cpu)};
                }
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto ratio = [&](const char* op, const char* floor) {
            static const std::map<std::string, std::string> kRuns = {
                {"save", "BM_SaveSet/real_time"},
                {"write floor", "BM_WriteFloor/real_time"},
                {"load", "BM_LoadSet/real_time"},
                {"read floor", "BM_ReadFloor/real_time"}};
            const auto a = times_.find(kRuns.at(op)), b = times_.find(kRuns.at(floor));
            if (a != times_.end() && b != times_.end() && b->second.real > 0 && b->second.cpu > 0) {
                std::printf(
                    "%-5s real %7.1f ms, floor %7.1f ms, ratio %.2f;"
                    " cpu %7.1f ms, floor %7.1f ms, ratio %.2f\n",
                    op, a->second.real * 1e3, b->second.real * 1e3, a->second.real / b->second.real,
                    a->second.cpu * 1e3, b->second.cpu * 1e3, a->second.cpu / b->second.cpu);
            }
        };
        ratio("save", "write floor");
        ratio("load", "read floor");
    }

  private:
    struct Times {
        double real;
        double cpu;
    };
    std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
