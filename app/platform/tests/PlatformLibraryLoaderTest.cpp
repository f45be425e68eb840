#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "app/platform/LibraryLoader.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;

class PlatformLibraryLoader : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumatrace-dl-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static int Answer(LoadedLibrary& library) {
        auto* fn = reinterpret_cast<int (*)()>(library.Symbol("lumatrace_test_plugin_answer"));
        return fn != nullptr ? fn() : -1;
    }

    fs::path dir_;
};

TEST_F(PlatformLibraryLoader, FindsTheLibraryBesideTheExecutable) {
    DynamicLibraryLoader loader;
    std::string error;
    auto library = loader.Load(LUMATRACE_TEST_PLUGIN, error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_EQ(Answer(*library), 42);
    EXPECT_EQ(library->Symbol("no_such_symbol"), nullptr);
}

TEST_F(PlatformLibraryLoader, CopyBesideTheProgramWinsOverTheSearchPath) {
    // A library of the system's name placed beside the program is the one bound.
    fs::copy_file(LUMATRACE_TEST_PLUGIN_PATH, dir_ / "libm.so.6");
    DynamicLibraryLoader loader(dir_);
    std::string error;
    auto library = loader.Load("libm.so.6", error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_EQ(Answer(*library), 42);
}

TEST_F(PlatformLibraryLoader, FallsBackToTheSearchPath) {
    DynamicLibraryLoader loader(dir_);
    std::string error;
    auto library = loader.Load("libm.so.6", error);
    ASSERT_NE(library, nullptr) << error;
    EXPECT_NE(library->Symbol("cos"), nullptr);
}

TEST_F(PlatformLibraryLoader, BrokenCopyBesideTheProgramIsAnErrorNotAFallback) {
    std::ofstream(dir_ / "libm.so.6") << "not a library";
    DynamicLibraryLoader loader(dir_);
    std::string error;
    EXPECT_EQ(loader.Load("libm.so.6", error), nullptr);
    EXPECT_NE(error.find("libm.so.6"), std::string::npos) << error;
}

TEST_F(PlatformLibraryLoader, MissingLibraryNamesTheFile) {
    DynamicLibraryLoader loader(dir_);
    std::string error;
    EXPECT_EQ(loader.Load("libzep9100-missing.so", error), nullptr);
    EXPECT_NE(error.find("libzep9100-missing.so"), std::string::npos) << error;
    EXPECT_EQ(loader.Load("", error), nullptr);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace lumatrace
