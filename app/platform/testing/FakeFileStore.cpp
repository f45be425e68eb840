#include "app/platform/testing/FakeFileStore.h"

namespace lumatrace::testing {

bool FakeFileStore::Exists(const std::filesystem::path& file) {
    return files.count(file) != 0 || folders.count(file) != 0;
}

FileStatus FakeFileStore::ReadAll(const std::filesystem::path& file, std::vector<std::uint8_t>& out,
                                  std::size_t maxBytes) {
    log.push_back("read " + file.string());
    out.clear();
    const auto it = files.find(file);
    if (it == files.end()) {
        return FileStatus::Failure(FileStatus::Code::NotFound, "No such file or directory");
    }
    if (failRead) {
        return FileStatus::Failure(FileStatus::Code::ReadFailed, "Permission denied");
    }
    if (it->second.size() > maxBytes) {
        return FileStatus::Failure(FileStatus::Code::TooLarge, "File too large");
    }
    out = it->second;
    return FileStatus::Success();
}

FileStatus FakeFileStore::WriteAtomically(const std::filesystem::path& file,
                                          std::span<const std::uint8_t> data) {
    log.push_back("write " + file.string());
    if (failCreate) {
        return FileStatus::Failure(FileStatus::Code::CreateFailed, "Permission denied");
    }
    if (failWrite) {
        return FileStatus::Failure(FileStatus::Code::WriteFailed, "No space left on device");
    }
    files[file].assign(data.begin(), data.end());
    return FileStatus::Success();
}

FileStatus FakeFileStore::Remove(const std::filesystem::path& file) {
    log.push_back("remove " + file.string());
    if (failRemove) {
        return FileStatus::Failure(FileStatus::Code::Failed, "Permission denied");
    }
    if (files.erase(file) == 0) {
        return FileStatus::Failure(FileStatus::Code::NotFound, "No such file or directory");
    }
    return FileStatus::Success();
}

FileStatus FakeFileStore::MakeDirectories(const std::filesystem::path& folder) {
    log.push_back("mkdir " + folder.string());
    for (std::filesystem::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        folders.insert(p);
    }
    return FileStatus::Success();
}

bool FakeFileStore::IsReadOnly(const std::filesystem::path& file) {
    return Exists(file) && readOnly.count(file) != 0;
}

}  // namespace lumatrace::testing
