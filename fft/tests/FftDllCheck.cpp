// Checks the Windows build of the library as the program uses it: loaded by name from beside
// this executable, both functions looked up by name, spectra compared with the oracle compiled in
// here, and the version resource. Runs under Wine in the test suite; prints one line per check
// and returns non-zero when any of them fails.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "fft/include/zep9100fft.h"
#include "fft/tests/FftOracle.h"
#include "fft/tests/FftTestSignals.h"

using lumatrace::fft::testing::constantRecord;
using lumatrace::fft::testing::FftOracle;
using lumatrace::fft::testing::makeParams;
using lumatrace::fft::testing::randomParams;
using lumatrace::fft::testing::randomRecord;
using lumatrace::fft::testing::Spectrum;
using lumatrace::fft::testing::spectrumMismatch;
using lumatrace::fft::testing::stagesOf;

namespace {

int failures = 0;

void report(bool ok, const std::string& what, const std::string& detail = "") {
    std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    if (!ok) {
        ++failures;
    }
}

struct Library {
    Zep9100InitFftFn init = nullptr;
    Zep9100CalcFftFn calc = nullptr;
};

void checkSpectra(const Library& lib) {
    for (int32_t n : {8192, 65536, 524288}) {
        const bool initialised = lib.init(n, stagesOf(n), n / 2) == 1;
        report(initialised, "Zep9100InitFft(" + std::to_string(n) + ")");
        if (!initialised) {
            continue;
        }
        FftOracle oracle(n, stagesOf(n), n / 2);
        for (int32_t window : {0, 1, 2, 3, 7}) {
            const uint32_t seed = static_cast<uint32_t>(n + window);
            const auto words = randomRecord(n, seed);
            const FftParams params = randomParams(seed, window);
            Spectrum got(n);
            Spectrum expected(n);
            const bool called = lib.calc(&params, words.data(), got.re.data(), got.im.data()) == 1;
            oracle.calc(params, words.data(), expected.re.data(), expected.im.data());
            const std::string mismatch =
                called ? spectrumMismatch(got, expected, false) : "returned 0";
            report(mismatch.empty(),
                   "n " + std::to_string(n) + ", window " + std::to_string(window), mismatch);
        }
    }
}

void checkEdgeCases(const Library& lib) {
    const int32_t n = 8192;
    lib.init(n, stagesOf(n), n / 2);

    const std::vector<uint32_t> missing(n, ZEP9100FFT_NO_SAMPLE);
    const FftParams blackman = makeParams(0, 3, 1000.0, 0.0);
    Spectrum s(n);
    lib.calc(&blackman, missing.data(), s.re.data(), s.im.data());
    bool zero = true;
    for (int32_t k = 0; k < n; ++k) {
        zero = zero && s.re[k] == 0.0 && s.im[k] == 0.0;
    }
    report(zero, "record of missing samples gives zeros");

    const auto constant = constantRecord(n, 640);
    const FftParams dc = makeParams(0, 0, 1000.0, 0.0);
    lib.calc(&dc, constant.data(), s.re.data(), s.im.data());
    bool rest = true;
    for (int32_t k = 1; k < n; ++k) {
        rest = rest && std::abs(s.re[k]) < 1e-15 && std::abs(s.im[k]) < 1e-15;
    }
    report(std::abs(s.re[0] - 0.125) < 1e-15 && rest, "constant code 640 at R 1000 reads 0.125 V");

    Spectrum untouched(n);
    const bool refused =
        lib.calc(nullptr, constant.data(), untouched.re.data(), untouched.im.data()) == 0 &&
        lib.calc(&dc, nullptr, untouched.re.data(), untouched.im.data()) == 0 &&
        lib.calc(&dc, constant.data(), nullptr, untouched.im.data()) == 0 &&
        lib.calc(&dc, constant.data(), untouched.re.data(), nullptr) == 0;
    report(refused && std::isnan(untouched.re[0]) && std::isnan(untouched.im[0]),
           "null pointers are refused");
}

std::wstring stringValue(const std::vector<char>& info, const wchar_t* block, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) {
        return L"";
    }
    return std::wstring(static_cast<const wchar_t*>(value));
}

void checkVersionResource(HMODULE module) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data())) {
        report(false, "version resource present");
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    const bool hasFixed =
        VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
    report(hasFixed && fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0 &&
               fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0,
           "file and product version 1.0.0.0");

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof(Translation)) {
        report(false, "version resource translation");
        return;
    }
    wchar_t block[16];
    std::swprintf(block, 16, L"%04x%04x", translation->language, translation->codePage);
    report(stringValue(info, block, L"FileDescription") == L"ZEP-9100 FFT DLL", "FileDescription");
    report(stringValue(info, block, L"ProductName") == L"ZEP-9100 FFT", "ProductName");
    report(stringValue(info, block, L"FileVersion") == L"1.0.0.0", "FileVersion string");
    report(stringValue(info, block, L"ProductVersion") == L"1.0.0.0", "ProductVersion string");
}

}  // namespace

int main() {
    HMODULE module = LoadLibraryW(L"zep9100fft.dll");
    report(module != nullptr, "LoadLibrary(\"zep9100fft.dll\")");
    if (module == nullptr) {
        return 1;
    }
    Library lib;
    lib.init = reinterpret_cast<Zep9100InitFftFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "Zep9100InitFft")));
    lib.calc = reinterpret_cast<Zep9100CalcFftFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "Zep9100CalcFft")));
    report(lib.init != nullptr && lib.calc != nullptr, "both functions found by name");
    if (lib.init != nullptr && lib.calc != nullptr) {
        checkSpectra(lib);
        checkEdgeCases(lib);
    }
    checkVersionResource(module);
    report(FreeLibrary(module) != 0, "FreeLibrary");
    std::printf("%d failure(s)\n", failures);
    return failures == 0 ? 0 : 1;
}
