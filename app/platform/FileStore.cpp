#include "app/platform/FileStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

namespace lumatrace {

namespace {

std::string ErrnoText(int error) {
    return std::generic_category().message(error);
}

// Closes the descriptor on every path out of a function.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded: some file systems
    // only report a failed write here.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteFully(int fd, const std::uint8_t* data, std::size_t size, int& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::filesystem::path TemporaryTwin(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    std::string name = file.filename().string();
    name += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    return file.parent_path() / name;
}

}  // namespace

bool LocalFileStore::Exists(const std::filesystem::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0;
}

FileStatus LocalFileStore::ReadAll(const std::filesystem::path& file,
                                   std::vector<std::uint8_t>& out, std::size_t maxBytes) {
    // Whatever fails leaves `out` empty.
    const auto fail = [&out](FileStatus::Code code, int error) {
        out.clear();
        return FileStatus::Failure(code, ErrnoText(error));
    };
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        return fail(error == ENOENT ? FileStatus::Code::NotFound : FileStatus::Code::ReadFailed,
                    error);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return fail(FileStatus::Code::ReadFailed, errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return fail(FileStatus::Code::ReadFailed, EISDIR);
    }
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        return fail(FileStatus::Code::TooLarge, EFBIG);
    }
    // Read straight into `out`: room for the size fstat gives and one byte more, so that the end
    // of an unchanged file is seen without growing; more room when the file grew or has no size
    // (special files). Bytes the vector already held are overwritten, not cleared first, so a
    // vector read into again costs no more than the read.
    const std::size_t expected = S_ISREG(st.st_mode) && st.st_size > 0
                                     ? static_cast<std::size_t>(st.st_size) + 1
                                     : std::size_t{65536};
    std::size_t size = 0;
    out.resize(std::max(out.size(), expected));
    for (;;) {
        if (size == out.size()) {
            // Never more than one byte past the limit, which is enough to tell it was passed.
            const std::size_t grow = std::max<std::size_t>(size / 2, 65536);
            out.resize(size + std::min(grow, maxBytes - size) + 1);
        }
        const ssize_t n = ::read(fd.get(), out.data() + size, out.size() - size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(FileStatus::Code::ReadFailed, errno);
        }
        if (n == 0) {
            break;
        }
        size += static_cast<std::size_t>(n);
        // The size seen by fstat may be stale (or zero for special files).
        if (size > maxBytes) {
            return fail(FileStatus::Code::TooLarge, EFBIG);
        }
    }
    out.resize(size);
    return FileStatus::Success();
}

FileStatus LocalFileStore::WriteAtomically(const std::filesystem::path& file,
                                           std::span<const std::uint8_t> data) {
    // The new file takes over the permissions of the one it replaces.
    mode_t mode = 0666;
    struct stat existing {};
    const bool replacing = ::stat(file.c_str(), &existing) == 0;
    if (replacing) {
        mode = existing.st_mode & 07777;
    }

    std::filesystem::path twin;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        twin = TemporaryTwin(file);
        raw = ::open(twin.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (raw < 0 && errno != EEXIST) {
            break;
        }
    }
    if (raw < 0) {
        return FileStatus::Failure(FileStatus::Code::CreateFailed, ErrnoText(errno));
    }
    Descriptor fd(raw);
    if (replacing) {
        // open() applied the umask; restore the replaced file's exact mode.
        ::fchmod(fd.get(), mode);
    }

    int error = 0;
    bool ok = WriteFully(fd.get(), data.data(), data.size(), error);
    if (ok && ::fsync(fd.get()) != 0) {
        error = errno;
        ok = false;
    }
    if (ok && !fd.Close()) {
        error = errno;
        ok = false;
    }
    if (ok && ::rename(twin.c_str(), file.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(twin.c_str());
        return FileStatus::Failure(FileStatus::Code::WriteFailed, ErrnoText(error));
    }
    // Make the rename itself durable; a failure here does not undo the write.
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return FileStatus::Success();
}

FileStatus LocalFileStore::Remove(const std::filesystem::path& file) {
    // A folder goes only when it is empty (a waveform set whose first file
    // failed leaves an empty one behind).
    if (::unlink(file.c_str()) != 0 && !(errno == EISDIR && ::rmdir(file.c_str()) == 0)) {
        const int error = errno;
        return FileStatus::Failure(
            error == ENOENT ? FileStatus::Code::NotFound : FileStatus::Code::Failed,
            ErrnoText(error));
    }
    return FileStatus::Success();
}

FileStatus LocalFileStore::MakeDirectories(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return FileStatus::Failure(FileStatus::Code::CreateFailed, ec.message());
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        return FileStatus::Failure(FileStatus::Code::CreateFailed, ErrnoText(ENOTDIR));
    }
    return FileStatus::Success();
}

bool LocalFileStore::IsReadOnly(const std::filesystem::path& file) {
    return Exists(file) && ::access(file.c_str(), W_OK) != 0;
}

FileStatus WriteTextFile(FileStore& files, const std::filesystem::path& file,
                         std::string_view text) {
    if (file.has_parent_path()) {
        const FileStatus made = files.MakeDirectories(file.parent_path());
        if (!made.ok())
            return made;
    }
    return files.WriteAtomically(
        file, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size()));
}

}  // namespace lumatrace
