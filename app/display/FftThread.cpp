#include "app/display/FftThread.h"

#include <utility>
#if defined(__linux__)
#include <pthread.h>
#endif

namespace lumatrace {

TFftThread::TFftThread(std::function<void()> step, std::chrono::milliseconds period)
    : step_(std::move(step)), period_(period) {}

TFftThread::~TFftThread() {
    Terminate();
    WaitFor();
}

void TFftThread::Start() {
    if (thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        terminated_ = false;
    }
    thread_ = std::thread(&TFftThread::Run, this);
}

void TFftThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
}

void TFftThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TFftThread::Run() {
#if defined(__linux__)
    // Named so that a look at the process's threads tells the instrument from the program.
    pthread_setname_np(pthread_self(), "lt-spectrum");
#endif
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (terminated_)
                return;
        }
        step_();
        std::unique_lock<std::mutex> lock(mutex_);
        // Waiting on the condition rather than sleeping lets Stop end the thread at once.
        if (wake_.wait_for(lock, period_, [this] { return terminated_; }))
            return;
    }
}

}  // namespace lumatrace
