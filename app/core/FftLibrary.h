// The spectrum library, bound by name through the platform loader like the
// device library. The spectrum view calls it through these pointers; the main
// window only binds it at start-up and unbinds it at close.
#pragma once

#include <memory>
#include <string>

#include "app/platform/LibraryLoader.h"
#include "fft/include/zep9100fft.h"

namespace lumatrace {

#if defined(_WIN32)
inline constexpr const char* kFftLibraryFile = "zep9100fft.dll";
#else
inline constexpr const char* kFftLibraryFile = "libzep9100fft.so";
#endif

class FftLibrary {
  public:
    FftLibrary() = default;
    FftLibrary(const FftLibrary&) = delete;
    FftLibrary& operator=(const FftLibrary&) = delete;

    bool Bound() const { return library_ != nullptr; }
    // Null while unbound.
    Zep9100InitFftFn InitFft() const { return initFft_; }
    Zep9100CalcFftFn CalcFft() const { return calcFft_; }

    // Loads the library and resolves Zep9100InitFft, then Zep9100CalcFft.
    // Fails when already bound (the binding stays), when the load fails or
    // when a name is missing (the library is unloaded again).
    bool Bind(LibraryLoader& loader, const std::string& fileName = kFftLibraryFile,
              std::string* error = nullptr);
    void Unbind();

  private:
    std::unique_ptr<LoadedLibrary> library_;
    Zep9100InitFftFn initFft_ = nullptr;
    Zep9100CalcFftFn calcFft_ = nullptr;
};

}  // namespace lumatrace
