// A 1M-point record (4 MB) moved from the instrument's bulk IN endpoint in reads of at most
// 64 KiB through the whole driver stack of the host kernel model (I/O manager, zep9100.sys,
// virtual USB bus), against the same USB function called directly in the process for the same
// 64 KiB pieces. The stack reports its time as a multiple of the direct calls measured in the
// same run (x_direct; target: within 1.5).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "driver/Zep9100.h"
#include "driver/host/HostKernel.h"
#include "driver/host/LoopbackFunction.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumatrace::host::HostKernel;
using lumatrace::host::LoopbackFunction;
using lumatrace::host::UsbDeviceSpec;
using lumatrace::host::UserFile;

constexpr size_t kRecordBytes = 1000001 * 4;
constexpr size_t kPiece = 65536;

std::vector<uint8_t> record() {
    std::vector<uint8_t> bytes(kRecordBytes);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 13 + (i >> 10));
    return bytes;
}

// The instrument's side, answering every IN transfer in full from the record.
LoopbackFunction& function() {
    static LoopbackFunction* f = [] {
        auto* created = new LoopbackFunction;
        created->setStream(record());
        return created;
    }();
    return *f;
}

struct Stack {
    HostKernel kernel;
    UserFile* file = nullptr;
    Stack() {
        if (kernel.loadDriver(DriverEntry, L"Zep9100") != STATUS_SUCCESS)
            std::abort();
        kernel.bus().plug(UsbDeviceSpec::instrument(), function());
        if (kernel.io().createFile(L"\\\\.\\Zep9100Device0", &file) != STATUS_SUCCESS)
            std::abort();
    }
};

Stack& stack() {
    static Stack* s = new Stack;
    return *s;
}

std::vector<uint8_t>& target() {
    static std::vector<uint8_t> bytes(kRecordBytes);
    return bytes;
}

void readDirect(std::vector<uint8_t>& out) {
    for (size_t at = 0; at < kRecordBytes; at += kPiece)
        function().bulkIn(out.data() + at, std::min(kPiece, kRecordBytes - at));
}

bool readThroughDriver(std::vector<uint8_t>& out) {
    Stack& s = stack();
    for (size_t at = 0; at < kRecordBytes;) {
        ULONG bytes = 0;
        const ULONG want = static_cast<ULONG>(std::min(kPiece, kRecordBytes - at));
        if (s.kernel.io().readFile(s.file, out.data() + at, want, &bytes) != STATUS_SUCCESS ||
            bytes == 0)
            return false;
        at += bytes;
    }
    return true;
}

void BM_DirectFunction1MRecord(benchmark::State& state) {
    for (auto _ : state) {
        readDirect(target());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordBytes));
}
BENCHMARK(BM_DirectFunction1MRecord)->Unit(benchmark::kMillisecond);

void BM_DriverStack1MRecord(benchmark::State& state) {
    // The yardstick runs right before each measured pass, so that both see the same machine.
    double direct = 0.0, driver = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto t0 = Clock::now();
        readDirect(target());
        benchmark::ClobberMemory();
        direct += std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
        state.ResumeTiming();
        t0 = Clock::now();
        if (!readThroughDriver(target()))
            state.SkipWithError("read through the driver failed");
        benchmark::ClobberMemory();
        driver += std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kRecordBytes));
    state.counters["x_direct"] = driver / direct;
}
BENCHMARK(BM_DriverStack1MRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
