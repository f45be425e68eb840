// The two exported functions and the library's load and unload handling.
#include "fft/include/zep9100fft.h"

#include "fft/src/FftEngine.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The one state of the library in this process.
constinit lumatrace::fft::FftEngine engine;

}  // namespace

extern "C" ZEP9100FFT_API int32_t ZEP9100FFT_CALL Zep9100InitFft(int32_t n, int32_t stages,
                                                                 int32_t half) {
    return engine.init(n, stages, half) ? 1 : 0;
}

extern "C" ZEP9100FFT_API int32_t ZEP9100FFT_CALL Zep9100CalcFft(const FftParams* params,
                                                                 const uint32_t* samples,
                                                                 double* outReal, double* outImag) {
    return engine.calc(params, samples, outReal, outImag) ? 1 : 0;
}

#if defined(_WIN32)

namespace {

// Counts the loads of the library across all processes: the linker marks this section shared.
// Nothing reads it.
volatile LONG loadCount __attribute__((section(".shared"), shared)) = 0;

// The library runs only on the NT family from version 5 on.
bool supportedSystem() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        return false;
    }
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            if (!supportedSystem()) {
                SetLastError(ERROR_APP_WRONG_OS);
                return FALSE;
            }
            engine.reset();
            InterlockedIncrement(&loadCount);
            return TRUE;
        case DLL_PROCESS_DETACH:
            engine.release();
            InterlockedDecrement(&loadCount);
            return TRUE;
        default:
            return TRUE;
    }
}

#else

namespace {

// Loads of the library in this process (shared between processes on Windows). Nothing reads it.
int32_t loadCount = 0;

__attribute__((constructor)) void onLoad() {
    engine.reset();
    ++loadCount;
}

__attribute__((destructor)) void onUnload() {
    engine.release();
    --loadCount;
}

}  // namespace

#endif
