// The virtual instrument's 1M-point record through the device access
// library, against a plain memcpy of the same 4 MB measured in the same run
// (the counter x_memcpy is the time as a multiple of the copy):
// - the fetch the program does after message 1125: one status read, then
//   the data, which travel in bulk reads of at most 64 KiB out of the
//   instrument's acquisition memory (target: within 5x of the copy);
// - the acquisition before it: START until the status reports the complete
//   record, at the fastest time base. The instrument's clock runs 1000
//   times fast here, so that the 10 ms the record takes on a real
//   instrument shrink to 10 us and what is left is the instrument's work:
//   computing the samples from the signal model into its memory.
// The library's default transport goes through the driver (zep9100.sys on
// the host kernel model and its virtual USB bus). The fetch runs once over
// it and once over the in-process transport, in a second copy of the
// library loaded beside the first; the driver's counter x_direct is its
// time as a multiple of the in-process fetch (target: within 1.5x).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device/include/zep9100.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kPoints = 1000000;
constexpr std::size_t kBytes = std::size_t{kPoints} * 4;

struct Library {
    Zep9100CreateFn create;
    Zep9100SetModeFn setMode;
    Zep9100StartSamplingFn start;
    Zep9100GetStatusFn status;
    Zep9100GetDataFn data;
    uint16_t device = 0xFFFF;

    // START, then status reads until the record is complete.
    bool acquire() {
        if (!(start(device, 1) & 0xFF))
            return false;
        uint32_t s = 0, n = 0, x = 0;
        while (s != 11 || n != kPoints) {
            if (!(status(device, &s, &n, &x) & 0xFF) || s == 0)
                return false;
        }
        return true;
    }
};

enum class Path { Driver, Direct };

// One copy of the library per transport: the library keeps one instance of
// its instruments per process image, so the in-process one is a copy of the
// file under another name.
Library load(Path path) {
    // The shipped signals, whatever a developer keeps in a virtual.conf.
    setenv("APPDATA", "/nonexistent", 1);
    std::string file = ZEP9100_LIBRARY_PATH;
    if (path == Path::Direct) {
        setenv("ZEP9100_VIRTUAL", "seed = 1; timescale = 1000; transport = direct", 1);
        const std::filesystem::path copy =
            std::filesystem::temp_directory_path() /
            ("libzep9100-direct-" + std::to_string(getpid()) + ".so");
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        file = copy.string();
    } else {
        setenv("ZEP9100_VIRTUAL", "seed = 1; timescale = 1000; transport = driver", 1);
    }
    void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (path == Path::Direct)
        std::filesystem::remove(file);
    if (!h) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::abort();
    }
    Library l;
    l.create = reinterpret_cast<Zep9100CreateFn>(dlsym(h, "Zep9100Create"));
    l.setMode = reinterpret_cast<Zep9100SetModeFn>(dlsym(h, "Zep9100SetMode"));
    l.start = reinterpret_cast<Zep9100StartSamplingFn>(dlsym(h, "Zep9100StartSampling"));
    l.status = reinterpret_cast<Zep9100GetStatusFn>(dlsym(h, "Zep9100GetStatus"));
    l.data = reinterpret_cast<Zep9100GetDataFn>(dlsym(h, "Zep9100GetData"));
    if (!(l.create(&l.device, nullptr, 1124) & 0xFF))
        std::abort();
    // 1MPoint at 10 ns, free running.
    const uint32_t mode[21] = {2, 2, 250, 250, 0, 0,   2,    10, 0, 0, 0,
                               0, 2, 0,   0,   0, 250, 5000, 0,  0, 10};
    if (!(l.setMode(l.device, mode) & 0xFF) || !l.acquire())
        std::abort();
    return l;
}

Library& library(Path path = Path::Driver) {
    static Library driver = load(Path::Driver);
    if (path == Path::Driver)
        return driver;
    static Library direct = load(Path::Direct);
    return direct;
}

std::vector<uint32_t>& target() {
    static std::vector<uint32_t> words(kPoints + 1, 0xFFFFFFFF);
    return words;
}

double MemcpyFloorNs() {
    static const double floor = [] {
        std::vector<char> from(kBytes, 1), to(kBytes, 2);
        double best = 1e300;
        for (int rep = 0; rep < 30; ++rep) {
            const auto t0 = Clock::now();
            std::memcpy(to.data(), from.data(), kBytes);
            benchmark::ClobberMemory();
            best =
                std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - t0).count());
        }
        return best;
    }();
    return floor;
}

void BM_Memcpy4MB(benchmark::State& state) {
    std::vector<char> from(kBytes, 1), to(kBytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_Memcpy4MB);

// One fetch: the status read, then the record.
bool fetch(Library& lib, std::vector<uint32_t>& words) {
    uint32_t s = 0, n = 0, x = 0;
    if (!(lib.status(lib.device, &s, &n, &x) & 0xFF) || s != 11 || n != kPoints)
        return false;
    return (lib.data(lib.device, kPoints, words.data()) & 0xFF) != 0;
}

double timedFetchNs(Library& lib, std::vector<uint32_t>& words, benchmark::State& state) {
    const auto t0 = Clock::now();
    if (!fetch(lib, words))
        state.SkipWithError("the fetch failed");
    benchmark::ClobberMemory();
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

void BM_Fetch1MRecord(benchmark::State& state) {
    const Path path = state.range(0) ? Path::Driver : Path::Direct;
    state.SetLabel(path == Path::Driver ? "driver" : "direct");
    Library& lib = library(path);
    std::vector<uint32_t>& words = target();
    const double floor = MemcpyFloorNs();
    double total = 0.0;
    double direct = 0.0;
    for (auto _ : state) {
        total += timedFetchNs(lib, words, state);
        if (path == Path::Driver) {
            // The yardstick: an in-process fetch after each one through the
            // driver, under the same conditions, outside the timing.
            state.PauseTiming();
            direct += timedFetchNs(library(Path::Direct), words, state);
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
    state.counters["x_memcpy"] = total / static_cast<double>(state.iterations()) / floor;
    if (path == Path::Driver)
        state.counters["x_direct"] = total / direct;
}
BENCHMARK(BM_Fetch1MRecord)
    ->ArgName("driver")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Acquire1MRecord(benchmark::State& state) {
    Library& lib = library();
    const double floor = MemcpyFloorNs();
    double total = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!lib.acquire())
            state.SkipWithError("the acquisition failed");
        total += std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    }
    state.counters["x_memcpy"] = total / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_Acquire1MRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
