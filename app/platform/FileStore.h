#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// Outcome of one file operation. `error` carries the system's own wording of
// the failure so a message can name the cause.
struct FileStatus {
    enum class Code {
        Ok,
        NotFound,
        CreateFailed,  // the file (or its temporary twin) could not be created
        WriteFailed,   // created, but writing or replacing failed
        ReadFailed,
        TooLarge,
        Failed,
    };
    Code code = Code::Ok;
    std::string error;

    bool ok() const { return code == Code::Ok; }
    static FileStatus Success() { return {}; }
    static FileStatus Failure(Code c, std::string text) { return {c, std::move(text)}; }
};

// Every file access of the program goes through this, so tests can run
// against memory and make any step fail.
class FileStore {
  public:
    virtual ~FileStore() = default;

    virtual bool Exists(const std::filesystem::path& file) = 0;
    // Reads the whole file. Files longer than `maxBytes` are refused (TooLarge)
    // instead of being loaded.
    virtual FileStatus ReadAll(const std::filesystem::path& file, std::vector<std::uint8_t>& out,
                               std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) = 0;
    // Writes the data to a new file beside `file` and renames it over `file`
    // only when all of it is on disk, so a failed write leaves the previous
    // contents untouched.
    virtual FileStatus WriteAtomically(const std::filesystem::path& file,
                                       std::span<const std::uint8_t> data) = 0;
    // Removes a file, or a folder when it is empty.
    virtual FileStatus Remove(const std::filesystem::path& file) = 0;
    // Creates the folder and every missing parent.
    virtual FileStatus MakeDirectories(const std::filesystem::path& folder) = 0;
    // True when the file exists and this process may not write to it.
    virtual bool IsReadOnly(const std::filesystem::path& file) = 0;
};

// A small text file of the program's own beside the parameter file, written atomically after
// making its folder.
FileStatus WriteTextFile(FileStore& files, const std::filesystem::path& file,
                         std::string_view text);

// The local file system.
class LocalFileStore final : public FileStore {
  public:
    bool Exists(const std::filesystem::path& file) override;
    FileStatus ReadAll(const std::filesystem::path& file, std::vector<std::uint8_t>& out,
                       std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) override;
    FileStatus WriteAtomically(const std::filesystem::path& file,
                               std::span<const std::uint8_t> data) override;
    FileStatus Remove(const std::filesystem::path& file) override;
    FileStatus MakeDirectories(const std::filesystem::path& folder) override;
    bool IsReadOnly(const std::filesystem::path& file) override;
};

}  // namespace lumatrace
