// Items from one thread to another. The items pass under a mutex; the
// receiving thread learns of them through a pipe that its event loop
// watches, so no object of either thread is ever touched by the other and
// every hand-over is one that ThreadSanitizer can follow.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>
#include <system_error>
#include <utility>

namespace lumatrace {

template <typename T>
class ThreadMailbox {
  public:
    ThreadMailbox() {
        if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe for a thread mailbox");
        }
    }
    ~ThreadMailbox() {
        close(fds_[0]);
        close(fds_[1]);
    }
    ThreadMailbox(const ThreadMailbox&) = delete;
    ThreadMailbox& operator=(const ThreadMailbox&) = delete;

    // Any thread.
    void Post(T item) {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
            wake = !signalled_;
            signalled_ = true;
        }
        if (wake) {
            const char byte = 1;
            // Cannot fill up: one byte at most waits in the pipe.
            [[maybe_unused]] const ssize_t n = write(fds_[1], &byte, 1);
        }
    }

    // The receiving thread, when wakeFd() is readable: everything posted so
    // far, oldest first.
    std::deque<T> Take() {
        // Empty the pipe before looking at the items: a Post that comes after
        // this then either finds signalled_ still set (and its item is taken
        // below) or writes a new byte for the next round.
        char buffer[16];
        while (read(fds_[0], buffer, sizeof buffer) > 0) {
        }
        std::deque<T> out;
        std::lock_guard lock(mutex_);
        out.swap(items_);
        signalled_ = false;
        return out;
    }

    // Readable while items wait.
    int wakeFd() const { return fds_[0]; }

  private:
    int fds_[2] = {-1, -1};
    std::mutex mutex_;
    std::deque<T> items_;
    bool signalled_ = false;
};

}  // namespace lumatrace
