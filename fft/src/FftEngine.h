// The state and operations behind the library's two exported functions, in a form that tests can
// instantiate with their own allocator and drive with each kernel build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/include/zep9100fft.h"
#include "fft/src/FftKernels.h"
#include "fft/src/FftPlan.h"

namespace lumatrace::fft {

// Source of the engine's memory: blocks aligned to 64 bytes, or null when there is none.
struct Allocator {
    void* (*allocate)(std::size_t bytes, void* context);
    void (*release)(void* block, void* context);
    void* context;
};

void* systemAllocate(std::size_t bytes, void* context) noexcept;
void systemRelease(void* block, void* context) noexcept;

// Window weight of sample i of n: 1 Hamming, 2 Hann, 3 Blackman-Harris, anything else 1.0.
double windowWeight(int32_t window, int32_t i, int32_t n) noexcept;

class FftEngine {
  public:
    constexpr FftEngine() noexcept = default;
    explicit constexpr FftEngine(const Allocator& allocator) noexcept : allocator_(allocator) {}
    ~FftEngine();
    FftEngine(const FftEngine&) = delete;
    FftEngine& operator=(const FftEngine&) = delete;

    // Zep9100InitFft. On failure everything is released and calc fails until the next success.
    bool init(int32_t n, int32_t stages, int32_t half) noexcept;

    // Zep9100CalcFft with the widest kernel this machine runs, or with the given one.
    bool calc(const FftParams* params, const uint32_t* samples, double* outReal,
              double* outImag) noexcept;
    bool calc(const FftKernel& kernel, const FftParams* params, const uint32_t* samples,
              double* outReal, double* outImag) noexcept;

    // Frees every buffer; the stored length, stages and half stay.
    void release() noexcept;
    // Back to the state of a freshly loaded library.
    void reset() noexcept;

    bool ready() const noexcept { return ready_; }
    int32_t fftLength() const noexcept { return fftLength_; }
    int32_t fftStages() const noexcept { return fftStages_; }
    int32_t fftHalf() const noexcept { return fftHalf_; }

  private:
    static constexpr int kWindowKinds = 3;  // Hamming, Hann, Blackman-Harris

    void* allocate(std::uint64_t bytes) noexcept;
    bool buildFourStep() noexcept;
    bool buildSmall() noexcept;
    const double* windowTable(int32_t window) noexcept;

    Allocator allocator_{&systemAllocate, &systemRelease, nullptr};
    int32_t fftLength_ = 0;
    int32_t fftStages_ = 0;
    int32_t fftHalf_ = 0;
    bool ready_ = false;
    const FftKernel* kernel_ = nullptr;
    FftPlan plan_{};
    void* tables_ = nullptr;
    void* work_ = nullptr;
    void* scratch_ = nullptr;
    // One table per window kind, allocated with the others and filled on first use.
    double* windows_[kWindowKinds] = {};
    bool windowFilled_[kWindowKinds] = {};
};

}  // namespace lumatrace::fft
