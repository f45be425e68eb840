#include "app/files/WaveformFiles.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/platform/TextEncoding.h"

namespace lumatrace {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCannotCreate = UI_TEXT_NOOP("Files", "\r\nファイルを作成できません。");
constexpr std::string_view kWriteError =
    UI_TEXT_NOOP("Files", "ファイル書き込み中にエラーが発生しました。");
constexpr std::string_view kWrongExtension =
    UI_TEXT_NOOP("Files", "拡張子がZEPのファイルを指定してください。");
constexpr std::string_view kCannotOpen = UI_TEXT_NOOP("Files", "\r\nファイルを開けません。");
constexpr std::string_view kIndexFormat = UI_TEXT_NOOP(
    "Files", "\r\nファイル形式が合いません。\r\n指定したファイルの内容を確認してください。");
constexpr std::string_view kCsvMissing = UI_TEXT_NOOP(
    "Files", "\r\nファイルを開けません。\r\nCSVファイルが削除されていないか確認してください。");
constexpr std::string_view kCsvFormat = UI_TEXT_NOOP(
    "Files", "\r\nファイル形式が合いません。\r\nCSVファイルの内容を確認してください。");

// Files of a set are far smaller; anything larger is not one.
constexpr std::size_t kMaxIndexBytes = 1 << 20;
constexpr std::size_t kMaxCsvBytes = 16 << 20;

// B: the index file's name without its extension.
std::string BaseName(const fs::path& indexFile) {
    std::string name = indexFile.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name;
}

std::span<const std::uint8_t> Bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The CSV path named by an index line, kept inside the index file's folder:
// absolute paths, drive letters and ".." steps above the folder are refused.
std::optional<fs::path> InsideFolder(std::string_view relative) {
    if (relative.empty() || relative.front() == '\\' || relative.front() == '/' ||
        (relative.size() >= 2 && relative[1] == ':')) {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    while (!relative.empty()) {
        const std::size_t sep = relative.find_first_of("\\/");
        const std::string_view part = relative.substr(0, sep);
        if (part == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (sep == std::string_view::npos) {
            break;
        }
        relative.remove_prefix(sep + 1);
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    fs::path path;
    for (const std::string_view part : parts) {
        path /= fs::path(std::string(part));
    }
    return path;
}

bool HasZepExtension(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string ext = name.substr(dot);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return ext == ".zep";
}

}  // namespace

fs::path WaveformSetFolder(const fs::path& indexFile) {
    return indexFile.parent_path() / ("zep_" + BaseName(indexFile));
}

fs::path WaveformSetCsvFile(const fs::path& indexFile, int k) {
    return WaveformSetFolder(indexFile) / (BaseName(indexFile) + "_" + std::to_string(k) + ".csv");
}

SaveResult SaveWaveformFile(FileStore& files, MessageBoxService& messages, const fs::path& fileName,
                            const WaveformFileSettings& settings,
                            std::span<const SampleWord> record, std::string_view stamp) {
    const auto show = [&](const std::string& text) {
        messages.Show(MessageIcon::Error, UiText("Files", kSaveTitle), text);
    };
    const std::string base = BaseName(fileName);
    // The index names the CSV files in CP932; a name without that form could
    // not be found again.
    const std::optional<std::string> prefix = Utf8ToCp932("zep_" + base + "\\" + base + "_");

    if (files.IsReadOnly(fileName)) {
        show(fileName.string() + UiText("Files", kCannotCreate) + UiText("Files", "(ﾗｲﾄﾌﾟﾛﾃｸﾄ)"));
        return SaveResult::NotSaved;
    }
    if (!prefix || !files.WriteAtomically(fileName, {}).ok()) {
        show(fileName.string() + UiText("Files", kCannotCreate) + "(Some error)");
        return SaveResult::NotSaved;
    }
    const fs::path folder = WaveformSetFolder(fileName);
    // A folder that cannot be made shows up as the first CSV file failing.
    files.MakeDirectories(folder);

    const std::size_t available = record.size() / kRowsPerFile;
    const std::size_t count =
        settings.memoryPoints <= 0
            ? 0
            : std::min<std::size_t>(static_cast<std::size_t>(settings.memoryPoints) / kRowsPerFile,
                                    available);

    const std::optional<std::string> settingsBlock = WriteSettingsBlock(settings);
    const auto writer = std::make_unique<DataBlockWriter>(settings);
    std::string index;
    std::string csv;
    bool indexWritten = false;
    bool failed = false;
    std::size_t listed = 0;
    const auto WriteIndex = [&] {
        if (!files.WriteAtomically(fileName, Bytes(index)).ok()) {
            // The index keeps what it had; CSV files it does not name are left
            // over like the surplus files of an earlier, longer set. One message
            // per save: a CSV failure already reported says enough.
            if (!failed) {
                show(fileName.string() + "\r\n" + UiText("Files", kWriteError));
            }
            failed = true;
            return false;
        }
        indexWritten = true;
        return true;
    };
    for (std::size_t k = 0; k < count; ++k) {
        const fs::path csvPath = WaveformSetCsvFile(fileName, static_cast<int>(k));
        if (files.IsReadOnly(csvPath)) {
            show(csvPath.string() + UiText("Files", kCannotCreate));
            failed = true;
            break;
        }
        if (!settingsBlock) {
            show(UiText("Files", kWriteError));
            failed = true;
            break;
        }
        csv = *settingsBlock;
        writer->WriteDataBlock(csv, record.data(), k * kRowsPerFile);
        const FileStatus written = files.WriteAtomically(csvPath, Bytes(csv));
        if (!written.ok()) {
            if (written.code == FileStatus::Code::CreateFailed) {
                show(csvPath.string() + UiText("Files", kCannotCreate));
            } else {
                files.Remove(csvPath);
                show(UiText("Files", kWriteError));
            }
            failed = true;
            break;
        }
        if (k == 0) {
            index = IndexHeader(stamp);
        }
        index += *prefix;
        index += std::to_string(k);
        index += ".csv,";
        index += std::to_string(k * kRowsPerFile);
        index += "\r\n";
        ++listed;
        // The header goes out as soon as the first file is complete; the other
        // lines once the set ends. Either way the index names complete files
        // only, and the set is not rewritten a hundred times.
        if (k == 0 && !WriteIndex()) {
            break;
        }
    }
    if (listed > 1) {
        WriteIndex();
    }
    if (!indexWritten) {
        files.Remove(fileName);
        // Removes the folder only when it is empty.
        files.Remove(folder);
        return SaveResult::NotSaved;
    }
    return failed ? SaveResult::CutShort : SaveResult::Saved;
}

bool LoadWaveformFile(FileStore& files, const fs::path& fileName, SettingsRestoreHost& host,
                      std::span<SampleWord> record, std::string& message, WaveformLoadInfo* info) {
    if (info) {
        *info = {};
    }
    if (!HasZepExtension(fileName)) {
        message = UiText("Files", kWrongExtension);
        return false;
    }
    const std::string indexName = fileName.string();
    std::vector<std::uint8_t> indexBytes;
    if (!files.ReadAll(fileName, indexBytes, kMaxIndexBytes).ok()) {
        message = indexName + UiText("Files", kCannotOpen);
        return false;
    }
    LineCursor index(
        std::string_view(reinterpret_cast<const char*>(indexBytes.data()), indexBytes.size()));
    std::string_view line;
    if (!index.Next(line) || line.find("ZEP-9100") == std::string_view::npos) {
        message = indexName + UiText("Files", kIndexFormat);
        return false;
    }
    index.Next(line);

    std::vector<std::uint8_t> csvBytes;
    std::vector<RestoreStep> steps;
    while (index.Next(line)) {
        // The first sample follows the last comma: the path before it carries
        // the set's name, which may hold commas itself. CP932 trail bytes are
        // never a comma, so the split is safe before decoding; the path is
        // decoded before its backslashes are looked at.
        const std::size_t comma = line.rfind(',');
        std::optional<int> first;
        std::optional<std::string> relative;
        std::optional<fs::path> inside;
        if (comma != std::string_view::npos) {
            first = ParseInteger(line.substr(comma + 1));
            relative = Cp932ToUtf8(line.substr(0, comma));
        }
        if (relative) {
            inside = InsideFolder(*relative);
        }
        if (!first || *first < 0 || *first % kRowsPerFile != 0 ||
            static_cast<std::size_t>(*first) + kRowsPerFile > record.size() || !inside) {
            message = indexName + UiText("Files", kIndexFormat);
            return false;
        }
        const fs::path csvPath = fileName.parent_path() / *inside;
        const FileStatus read = files.ReadAll(csvPath, csvBytes, kMaxCsvBytes);
        if (!read.ok()) {
            message =
                csvPath.string() +
                UiText("Files", read.code == FileStatus::Code::TooLarge ? kCsvFormat : kCsvMissing);
            return false;
        }
        LineCursor csv(
            std::string_view(reinterpret_cast<const char*>(csvBytes.data()), csvBytes.size()));
        steps.clear();
        ChannelsOn channels;
        const bool settingsRead = ReadSettingsBlock(csv, steps, channels);
        ApplyRestoreSteps(steps, host);
        if (!settingsRead ||
            !ReadDataBlock(csv, channels, record, static_cast<std::size_t>(*first))) {
            message = csvPath.string() + UiText("Files", kCsvFormat);
            return false;
        }
        if (info) {
            ++info->files;
            info->endSample =
                std::max(info->endSample, static_cast<std::size_t>(*first) + kRowsPerFile);
        }
    }
    return true;
}

}  // namespace lumatrace
