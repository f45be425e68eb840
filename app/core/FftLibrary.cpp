#include "app/core/FftLibrary.h"

namespace lumatrace {

bool FftLibrary::Bind(LibraryLoader& loader, const std::string& fileName, std::string* error) {
    std::string reason;
    if (Bound()) {
        reason = "already bound";
    } else if (std::unique_ptr<LoadedLibrary> lib = loader.Load(fileName, reason)) {
        auto init = reinterpret_cast<Zep9100InitFftFn>(lib->Symbol("Zep9100InitFft"));
        auto calc =
            init ? reinterpret_cast<Zep9100CalcFftFn>(lib->Symbol("Zep9100CalcFft")) : nullptr;
        if (init && calc) {
            library_ = std::move(lib);
            initFft_ = init;
            calcFft_ = calc;
            return true;
        }
        reason = init ? "Zep9100CalcFft missing" : "Zep9100InitFft missing";
    }
    if (error) {
        *error = reason;
    }
    return false;
}

void FftLibrary::Unbind() {
    initFft_ = nullptr;
    calcFft_ = nullptr;
    library_.reset();
}

}  // namespace lumatrace
