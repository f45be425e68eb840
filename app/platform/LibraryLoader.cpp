#include "app/platform/LibraryLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <system_error>

namespace lumatrace {

namespace {

class DynamicLibrary final : public LoadedLibrary {
  public:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary() override { ::dlclose(handle_); }

    void* Symbol(const char* name) override { return ::dlsym(handle_, name); }

  private:
    void* handle_;
};

std::string LastDlError() {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string("unknown error");
}

}  // namespace

std::filesystem::path ExecutableDirectory() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path(ec);
    }
    return exe.parent_path();
}

DynamicLibraryLoader::DynamicLibraryLoader() : programFolder_(ExecutableDirectory()) {}

DynamicLibraryLoader::DynamicLibraryLoader(std::filesystem::path programFolder)
    : programFolder_(std::move(programFolder)) {}

std::unique_ptr<LoadedLibrary> DynamicLibraryLoader::Load(const std::string& fileName,
                                                          std::string& error) {
    error.clear();
    if (fileName.empty()) {
        error = "empty library name";
        return nullptr;
    }
    std::string target = fileName;
    if (fileName.find('/') == std::string::npos) {
        // A library shipped with the program must not be shadowed by another
        // copy on the search path. If the copy beside the program is there but
        // broken, that is the error to report, not a reason to look elsewhere.
        const std::filesystem::path beside = programFolder_ / fileName;
        std::error_code ec;
        if (std::filesystem::exists(beside, ec)) {
            target = beside.string();
        }
    }
    ::dlerror();
    void* handle = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        error = LastDlError();
        return nullptr;
    }
    return std::make_unique<DynamicLibrary>(handle);
}

}  // namespace lumatrace
