// One data arrival through acquisition control (status read, stop, the fetch into FetchBuffer,
// the whole-record copy or the equivalent-time merge with its gap filling, the ground fill,
// the restart) for records of 10k, 100k and 1M points, against the floor measured in the same
// run: one plain pass that reads every word of the same record once. The device is the
// scripted library (its fetch writes one word per sample), the window a recording host, so
// only the core's own work and the fetch are timed. A table of the ratios follows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "app/core/AcquisitionControl.h"
#include "app/core/testing/RecordingHost.h"
#include "app/core/testing/ScriptedDevice.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace {

using namespace lumatrace;

constexpr int kPoints[] = {10000, 100000, 1000000};

std::map<std::string, double> nsPerRecord;

struct Rig {
    testing::ScriptedDevice device;
    testing::ScriptedDeviceLoader loader{kDeviceLibraryFile};
    DeviceLibrary library;
    SteadyClock clock;
    DeviceSession session{library, clock};
    InstrumentSettings settings;
    testing::RecordingHost host;
    testing::RecordingMessageBox messages;
    AcquisitionControl control{settings, session, host, messages};

    Rig(int points, bool equivalent, bool ground) {
        BindDeviceLibrary(library, loader);
        session.OpenDevice();
        settings.memoryPoints = points;
        settings.memorySizeIndex = points == 10000 ? 0 : points == 100000 ? 1 : 2;
        settings.trigPosition = points / 2;
        settings.equivalentActive = equivalent ? 1 : 0;
        if (ground) {
            settings.displayCoupling[1] = 2;
        }
        device.status = {7, static_cast<std::uint32_t>(points), 0};
        control.formReady = true;
        control.A_Auto();
    }
};

void BM_Floor(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    for (int i = 0; i < points; ++i) {
        WaveBuffer[static_cast<std::size_t>(i)] = static_cast<SampleWord>(i);
    }
    for (auto _ : state) {
        std::uint64_t sum = 0;
        const SampleWord* w = WaveBuffer.data();
        for (int i = 0; i < points; ++i) {
            sum += w[i];
        }
        benchmark::DoNotOptimize(sum);
    }
}

void Arrival(benchmark::State& state, bool equivalent, bool ground) {
    const int points = static_cast<int>(state.range(0));
    Rig rig(points, equivalent, ground);
    std::uint32_t phase = 0;
    for (auto _ : state) {
        rig.device.phase = phase;
        phase = (phase + 37) % 100;
        rig.control.HandleDeviceMessage(kMsgDataArrival, kDeviceMessageLParam);
    }
    if (rig.settings.runMode != kRunAuto) {
        state.SkipWithError("acquisition stopped");
    }
}

void BM_RealTime(benchmark::State& state) {
    Arrival(state, false, false);
}
void BM_RealTimeGround(benchmark::State& state) {
    Arrival(state, false, true);
}
void BM_Equivalent(benchmark::State& state) {
    Arrival(state, true, false);
}

BENCHMARK(BM_Floor)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_RealTime)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_RealTimeGround)->Arg(10000)->Arg(100000)->Arg(1000000);
BENCHMARK(BM_Equivalent)->Arg(10000)->Arg(100000)->Arg(1000000);

// Collects real time per iteration of every run to print the ratios to the floor.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nsPerRecord[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatio to the floor (one read of every word of the record):\n");
    for (int points : kPoints) {
        const std::string arg = "/" + std::to_string(points);
        const double floor = nsPerRecord["BM_Floor" + arg];
        if (floor <= 0.0) {
            continue;
        }
        for (const char* name : {"BM_RealTime", "BM_RealTimeGround", "BM_Equivalent"}) {
            const auto it = nsPerRecord.find(name + arg);
            if (it != nsPerRecord.end()) {
                std::printf("  %-18s %8d points: %6.1f x\n", name, points, it->second / floor);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
