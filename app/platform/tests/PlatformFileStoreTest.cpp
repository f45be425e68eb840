#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "app/platform/FileStore.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;

class PlatformFileStore : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumatrace-fs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::vector<std::uint8_t> Bytes(std::string_view s) {
        return std::vector<std::uint8_t>(s.begin(), s.end());
    }
    static std::string Contents(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Only the target itself: no temporary twin may be left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    LocalFileStore store_;
};

TEST_F(PlatformFileStore, WritesReadsAndReplacesWholeFiles) {
    const fs::path file = dir_ / "a.prm";
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("first")).ok());
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("second, longer")).ok());
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store_.ReadAll(file, data).ok());
    EXPECT_EQ(data, Bytes("second, longer"));
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.prm"});
}

TEST_F(PlatformFileStore, ReplacementKeepsThePermissionsOfTheOldFile) {
    const fs::path file = dir_ / "a.prm";
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("x")).ok());
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("y")).ok());
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PlatformFileStore, FailedWriteKeepsThePreviousFile) {
    const fs::path file = dir_ / "a.prm";
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("previous settings")).ok());

    // Let the kernel refuse to grow any file beyond 1 KiB: a genuine write
    // failure in the middle of the data.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileStatus status = store_.WriteAtomically(file, std::vector<std::uint8_t>(4096, 'z'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(status.code, FileStatus::Code::WriteFailed);
    EXPECT_FALSE(status.error.empty());
    EXPECT_EQ(Contents(file), "previous settings");
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.prm"});
}

TEST_F(PlatformFileStore, CreateFailureIsReportedAsSuch) {
    const FileStatus status = store_.WriteAtomically(dir_ / "missing" / "a.prm", Bytes("x"));
    EXPECT_EQ(status.code, FileStatus::Code::CreateFailed);
    EXPECT_FALSE(status.error.empty());
}

TEST_F(PlatformFileStore, ReadRefusesMissingDirectoriesAndOversizedFiles) {
    std::vector<std::uint8_t> data;
    EXPECT_EQ(store_.ReadAll(dir_ / "none", data).code, FileStatus::Code::NotFound);
    EXPECT_EQ(store_.ReadAll(dir_, data).code, FileStatus::Code::ReadFailed);
    ASSERT_TRUE(store_.WriteAtomically(dir_ / "big", std::vector<std::uint8_t>(100, 1)).ok());
    EXPECT_EQ(store_.ReadAll(dir_ / "big", data, 99).code, FileStatus::Code::TooLarge);
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(store_.ReadAll(dir_ / "big", data, 100).ok());
}

// One vector read into again and again, as the waveform loader does: a shorter file after a
// longer one leaves nothing of it behind, files the size of which the system does not know
// (procfs) and files past the first guess are read whole, and the limit holds for them too.
TEST_F(PlatformFileStore, ReadIntoAReusedVectorHoldsExactlyTheFile) {
    std::vector<std::uint8_t> large(200000);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_TRUE(store_.WriteAtomically(dir_ / "large", large).ok());
    ASSERT_TRUE(store_.WriteAtomically(dir_ / "small", Bytes("small")).ok());
    ASSERT_TRUE(store_.WriteAtomically(dir_ / "empty", {}).ok());

    std::vector<std::uint8_t> data;
    ASSERT_TRUE(store_.ReadAll(dir_ / "large", data).ok());
    EXPECT_EQ(data, large);
    ASSERT_TRUE(store_.ReadAll(dir_ / "small", data).ok());
    EXPECT_EQ(data, Bytes("small"));
    ASSERT_TRUE(store_.ReadAll(dir_ / "empty", data).ok());
    EXPECT_TRUE(data.empty());
    ASSERT_TRUE(store_.ReadAll(dir_ / "large", data).ok());
    EXPECT_EQ(data, large);

    // fstat gives 0 for a procfs file; its text is still read to the end.
    ASSERT_TRUE(store_.ReadAll("/proc/self/status", data).ok());
    const std::string status(data.begin(), data.end());
    EXPECT_NE(status.find("Name:"), std::string::npos);
    EXPECT_EQ(status.back(), '\n');
    const std::size_t statusSize = data.size();
    EXPECT_EQ(store_.ReadAll("/proc/self/status", data, statusSize / 2).code,
              FileStatus::Code::TooLarge);
    EXPECT_TRUE(data.empty());

    // A pipe has no size either, and holds more than the first guess.
    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream out(fifo, std::ios::binary);
        out.write(reinterpret_cast<const char*>(large.data()),
                  static_cast<std::streamsize>(large.size()));
    });
    const FileStatus piped = store_.ReadAll(fifo, data);
    writer.join();
    ASSERT_TRUE(piped.ok());
    EXPECT_EQ(data, large);
}

TEST_F(PlatformFileStore, RemoveExistsAndFolders) {
    const fs::path folder = dir_ / "ORVEX" / "ZEP-9100";
    ASSERT_TRUE(store_.MakeDirectories(folder).ok());
    ASSERT_TRUE(store_.MakeDirectories(folder).ok());  // already there
    EXPECT_TRUE(fs::is_directory(folder));
    const fs::path file = folder / "Zep9100.prm";
    EXPECT_FALSE(store_.Exists(file));
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("x")).ok());
    EXPECT_TRUE(store_.Exists(file));
    EXPECT_TRUE(store_.Remove(file).ok());
    EXPECT_FALSE(store_.Exists(file));
    EXPECT_EQ(store_.Remove(file).code, FileStatus::Code::NotFound);
    // A folder goes only when it is empty.
    ASSERT_TRUE(store_.WriteAtomically(folder / "kept", Bytes("x")).ok());
    EXPECT_FALSE(store_.Remove(folder).ok());
    EXPECT_TRUE(fs::exists(folder / "kept"));
    EXPECT_TRUE(store_.Remove(folder / "kept").ok());
    EXPECT_TRUE(store_.Remove(folder).ok());
    EXPECT_FALSE(fs::exists(folder));
    // A file where a folder should be.
    ASSERT_TRUE(store_.WriteAtomically(dir_ / "plain", Bytes("x")).ok());
    EXPECT_FALSE(store_.MakeDirectories(dir_ / "plain").ok());
}

TEST_F(PlatformFileStore, ReadOnlyCheck) {
    const fs::path file = dir_ / "ro";
    EXPECT_FALSE(store_.IsReadOnly(file));  // missing is not read-only
    ASSERT_TRUE(store_.WriteAtomically(file, Bytes("x")).ok());
    EXPECT_FALSE(store_.IsReadOnly(file));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write to any file";
    }
    EXPECT_TRUE(store_.IsReadOnly(file));
}

}  // namespace
}  // namespace lumatrace
