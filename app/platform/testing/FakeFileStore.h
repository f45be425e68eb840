#pragma once

#include <map>
#include <set>
#include <string>

#include "app/platform/FileStore.h"

namespace lumatrace::testing {

// An in-memory file system whose operations can be made to fail one kind at a
// time. WriteAtomically keeps the previous contents on failure, like the real
// store.
class FakeFileStore final : public FileStore {
  public:
    std::map<std::filesystem::path, std::vector<std::uint8_t>> files;
    std::set<std::filesystem::path> folders;
    std::set<std::filesystem::path> readOnly;

    // Failure switches.
    bool failCreate = false;
    bool failWrite = false;
    bool failRead = false;
    bool failRemove = false;

    // What happened, in order ("write <path>", "remove <path>", ...).
    std::vector<std::string> log;

    bool Exists(const std::filesystem::path& file) override;
    FileStatus ReadAll(const std::filesystem::path& file, std::vector<std::uint8_t>& out,
                       std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) override;
    FileStatus WriteAtomically(const std::filesystem::path& file,
                               std::span<const std::uint8_t> data) override;
    FileStatus Remove(const std::filesystem::path& file) override;
    FileStatus MakeDirectories(const std::filesystem::path& folder) override;
    bool IsReadOnly(const std::filesystem::path& file) override;
};

}  // namespace lumatrace::testing
