// Feeds arbitrary bytes to the waveform set reader. The input is an index
// file and, after the first NUL byte, the CSV file that the index may name as
// zep_f\f_0.csv; the part after the NUL is also read directly as a settings
// block followed by a data block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/files/WaveformFiles.h"
#include "app/platform/testing/FakeFileStore.h"

namespace {

class NullHost final : public lumatrace::SettingsRestoreHost {
  public:
    void SetItemIndex(std::string_view, int) override {}
    void SetChecked(std::string_view, bool) override {}
    void SetDown(std::string_view, bool) override {}
    void SetMirror(std::string_view, int, long double) override {}
};

// Guard words on both sides catch a write outside the record.
std::vector<lumatrace::SampleWord> g_words(lumatrace::kRecordWords + 2);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t indexSize = nul ? static_cast<std::size_t>(nul - data) : size;
    const std::uint8_t* csv = nul ? nul + 1 : data + size;
    const std::size_t csvSize = static_cast<std::size_t>(data + size - csv);

    lumatrace::testing::FakeFileStore files;
    files.files["/set/f.zep"].assign(data, data + indexSize);
    files.files["/set/zep_f/f_0.csv"].assign(csv, csv + csvSize);

    g_words.front() = g_words.back() = 0xA5A5A5A5u;
    const std::span<lumatrace::SampleWord> record(g_words.data() + 1, lumatrace::kRecordWords);
    NullHost host;
    std::string message;
    if (!lumatrace::LoadWaveformFile(files, "/set/f.zep", host, record, message) &&
        message.empty()) {
        __builtin_trap();
    }

    lumatrace::LineCursor cursor(std::string_view(reinterpret_cast<const char*>(csv), csvSize));
    std::vector<lumatrace::RestoreStep> steps;
    lumatrace::ChannelsOn channels;
    if (lumatrace::ReadSettingsBlock(cursor, steps, channels)) {
        lumatrace::ReadDataBlock(cursor, channels, record, 990000);
    }
    if (g_words.front() != 0xA5A5A5A5u || g_words.back() != 0xA5A5A5A5u) {
        __builtin_trap();
    }
    return 0;
}
