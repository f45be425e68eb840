// Saving and loading a waveform file set: an index file D/B.zep and the CSV
// files D/zep_B/B_k.csv of 10,000 samples each, through the program's
// FileStore. Messages go to the user from the save; the load hands its one
// message back to the caller.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "app/files/SettingsRestore.h"
#include "app/files/WaveformCodec.h"
#include "app/platform/FileStore.h"
#include "app/platform/MessageBox.h"
#include "app/platform/UiText.h"

namespace lumatrace {

inline constexpr std::string_view kSaveTitle = UI_TEXT_NOOP("Files", "ファイル保存");
inline constexpr std::string_view kOpenTitle = UI_TEXT_NOOP("Files", "ファイルを開く");

// The folder beside the index file, and CSV file k inside it.
std::filesystem::path WaveformSetFolder(const std::filesystem::path& indexFile);
std::filesystem::path WaveformSetCsvFile(const std::filesystem::path& indexFile, int k);

enum class SaveResult {
    Saved,     // every CSV file and the index are complete
    CutShort,  // a failure was reported; the index lists the files completed before it
    NotSaved,  // a failure was reported; no index file is left
};

// Writes record[0 .. memoryPoints - 1] (memoryPoints is capped at the
// record's size) with the settings. `stamp` is the index header's date and
// time (CurrentIndexTimestamp()). Every failure is shown in a box titled
// "ファイル保存" before the function returns.
SaveResult SaveWaveformFile(FileStore& files, MessageBoxService& messages,
                            const std::filesystem::path& fileName,
                            const WaveformFileSettings& settings,
                            std::span<const SampleWord> record, std::string_view stamp);

// What a load read: the number of CSV files and the end of the highest
// block of samples (first sample of the last file + 10,000).
struct WaveformLoadInfo {
    std::size_t files = 0;
    std::size_t endSample = 0;
};

// Reads the set into `record` (kRecordWords words) and restores the settings
// through `host`, file by file as they are read. False with the message to
// show (title "ファイルを開く") on the first failure; what was read before it
// stays applied. Only a file holding sample 0 clears the whole record first;
// a set without one leaves the words it does not hold as they were, so a
// caller that wants them missing starts from kNoSampleWord.
bool LoadWaveformFile(FileStore& files, const std::filesystem::path& fileName,
                      SettingsRestoreHost& host, std::span<SampleWord> record, std::string& message,
                      WaveformLoadInfo* info = nullptr);

}  // namespace lumatrace
