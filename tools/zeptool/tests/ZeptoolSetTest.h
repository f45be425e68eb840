// What the zeptool tests of waveform sets share: a folder of the test's own that holds one set,
// and zeptool run in this process with what it prints captured.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/files/WaveformFiles.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "tools/zeptool/Zeptool.h"

namespace lumatrace::testing {

class ZeptoolSetTest : public ::testing::Test {
  protected:
    // The folder is `prefix` and this process's id in the temporary folder; `file` the set's
    // name in it.
    ZeptoolSetTest(const std::string& prefix, const std::string& file)
        : dir(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))),
          set(dir / file) {}

    void TearDown() override { std::filesystem::remove_all(dir); }

    // Saves `record` with the settings `s` as the set, as the program saves one.
    void SaveSet(const WaveformFileSettings& s, const std::vector<SampleWord>& record) {
        std::filesystem::create_directories(dir);
        LocalFileStore files;
        RecordingMessageBox box;
        ASSERT_EQ(SaveWaveformFile(files, box, set, s, record, "2026/12/10"), SaveResult::Saved);
    }

    static int Run(const std::vector<std::string>& args, std::string& out, std::string& err) {
        std::ostringstream o, e;
        const int rc = RunZeptool(args, o, e);
        out = o.str();
        err = e.str();
        return rc;
    }

    std::filesystem::path dir;
    std::filesystem::path set;
};

}  // namespace lumatrace::testing
