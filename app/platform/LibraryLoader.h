#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace lumatrace {

// One loaded shared library; unloaded when the object goes.
class LoadedLibrary {
  public:
    virtual ~LoadedLibrary() = default;
    // The address of an exported symbol, or nullptr.
    virtual void* Symbol(const char* name) = 0;
};

// Binds shared libraries by file name.
class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    // nullptr on failure, with the loader's reason in `error`.
    virtual std::unique_ptr<LoadedLibrary> Load(const std::string& fileName,
                                                std::string& error) = 0;
};

// The folder holding the running executable.
std::filesystem::path ExecutableDirectory();

// dlopen by file name: a copy beside the executable wins; otherwise the
// dynamic linker's normal search path is used. A name with a slash is taken
// as a path.
class DynamicLibraryLoader final : public LibraryLoader {
  public:
    DynamicLibraryLoader();
    // Looks beside `programFolder` instead of the running executable.
    explicit DynamicLibraryLoader(std::filesystem::path programFolder);

    std::unique_ptr<LoadedLibrary> Load(const std::string& fileName, std::string& error) override;

  private:
    std::filesystem::path programFolder_;
};

}  // namespace lumatrace
