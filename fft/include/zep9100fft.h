/*
 * zep9100fft: windowed, normalised spectrum of one channel of a ZEP-9100 record.
 *
 * The library is loaded by name at run time (dlopen/LoadLibrary) and its two functions are looked
 * up by their undecorated names; the pointer types below are what the caller binds them to.
 *
 * Contract common to both functions:
 *  - State is per process and not synchronised: calls must not overlap. An initialisation frees and
 *    reallocates what a running transform uses, and two transforms share the same work buffers.
 *  - Every buffer passed in belongs to the caller and is used only during the call; the library
 *    keeps no pointer to it.
 *  - Both functions return 1 on success and 0 on failure; nothing is thrown or printed.
 */
#ifndef ZEP9100FFT_H
#define ZEP9100FFT_H

#include <stddef.h>
#include <stdint.h>

/* __stdcall on 32-bit Windows (callee pops the arguments); the default convention elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define ZEP9100FFT_CALL __stdcall
#else
#define ZEP9100FFT_CALL
#endif

/* The only names the library exports. Defined by the library's own build. */
#if defined(ZEP9100FFT_BUILDING)
#if defined(_WIN32)
#define ZEP9100FFT_API __declspec(dllexport)
#else
#define ZEP9100FFT_API __attribute__((visibility("default")))
#endif
#else
#define ZEP9100FFT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Sample word marking "no sample at this index": contributes 0.0 to the transform. */
#define ZEP9100FFT_NO_SAMPLE 0xFFFFFFFFu

#pragma pack(push, 1)
/* Parameter block of Zep9100CalcFft: 24 bytes, little-endian, no padding. */
typedef struct FftParams {
    int32_t shift;      /* bit position of the channel's 10-bit code in each word: 0 CH1, 16 CH2
                           (only the low five bits are used) */
    int32_t window;     /* 0 rectangular, 1 Hamming, 2 Hann, 3 Blackman-Harris; other values act
                           as rectangular */
    double rangeMv;     /* full-scale range R of the channel in millivolts (10 x volts per division,
                           probe factor included) */
    double offsetCodes; /* offset of the channel's zero level from code 512, in codes:
                           (250 - position) x 2.048 */
} FftParams;
#pragma pack(pop)

#if defined(__cplusplus)
static_assert(sizeof(FftParams) == 24, "FftParams is a 24-byte record");
static_assert(offsetof(FftParams, shift) == 0, "FftParams.shift at offset 0");
static_assert(offsetof(FftParams, window) == 4, "FftParams.window at offset 4");
static_assert(offsetof(FftParams, rangeMv) == 8, "FftParams.rangeMv at offset 8");
static_assert(offsetof(FftParams, offsetCodes) == 16, "FftParams.offsetCodes at offset 16");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(FftParams) == 24, "FftParams is a 24-byte record");
_Static_assert(offsetof(FftParams, shift) == 0, "FftParams.shift at offset 0");
_Static_assert(offsetof(FftParams, window) == 4, "FftParams.window at offset 4");
_Static_assert(offsetof(FftParams, rangeMv) == 8, "FftParams.rangeMv at offset 8");
_Static_assert(offsetof(FftParams, offsetCodes) == 16, "FftParams.offsetCodes at offset 16");
#endif

/*
 * Prepares the library for transforms of n points: stores n, stages and half, releases whatever a
 * previous initialisation held, allocates the work buffers and computes the twiddle tables. The
 * library owns all of it until the next initialisation or until it is unloaded. Calling it twice
 * with the same arguments leaves the same state as calling it once.
 *
 * n must be a power of two from 2 to 2^30, stages = log2(n) and half = n / 2 (the program uses
 * n = 8192, 65536 and 524288). Returns 1 when ready; 0 when memory could not be allocated or the
 * three values do not fit together. After a 0 the library holds nothing and Zep9100CalcFft fails
 * until a successful initialisation.
 */
ZEP9100FFT_API int32_t ZEP9100FFT_CALL Zep9100InitFft(int32_t n, int32_t stages, int32_t half);

/*
 * Transforms samples[0 .. n-1] with the n of the last successful initialisation.
 *
 * Each word is decoded as code = (word >> shift) & 0x3FF and value in volts =
 * (R x (code - offsetCodes) x (1/1024) - R x 0.5) x 0.001 (0.0 for ZEP9100FFT_NO_SAMPLE), then
 * multiplied by the window weight w(i / (n - 1)). The forward DFT (kernel e^(-2 pi i k m / n)) is
 * written in natural bin order: outReal[k] and outImag[k] for every k in 0 .. n-1, the upper
 * half being the complex conjugate mirror of the lower. Scaling: bin 0 is divided by n and every
 * other bin by half, so a constant level C reads C x (window mean) in bin 0 and a sine of amplitude
 * A on a bin reads |out| = A x (window mean) there.
 *
 * The caller supplies n sample words and n doubles in each output array; the three arrays must
 * not overlap. The outputs hold intermediate values while the call runs. The samples are not
 * modified.
 *
 * Returns 1 on success. Returns 0 and touches nothing when any pointer is null or the library is
 * not initialised.
 */
ZEP9100FFT_API int32_t ZEP9100FFT_CALL Zep9100CalcFft(const FftParams* params,
                                                      const uint32_t* samples, double* outReal,
                                                      double* outImag);

/* The two entry points as the caller binds them by name. */
typedef int32_t(ZEP9100FFT_CALL* Zep9100InitFftFn)(int32_t n, int32_t stages, int32_t half);
typedef int32_t(ZEP9100FFT_CALL* Zep9100CalcFftFn)(const FftParams* params, const uint32_t* samples,
                                                   double* outReal, double* outImag);

#ifdef __cplusplus
}
#endif

#endif /* ZEP9100FFT_H */
