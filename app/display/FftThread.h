// The spectrum worker: runs one step of work every period until it is terminated. Used only
// for the 1M-point record in roll mode, where a transform takes long enough to stall the
// roll display if it ran inside the redraw.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace lumatrace {

class TFftThread {
  public:
    // `step` runs on the worker, first at once and then every `period` after the previous
    // step ended.
    explicit TFftThread(std::function<void()> step,
                        std::chrono::milliseconds period = std::chrono::milliseconds(10));
    ~TFftThread();  // terminates and waits
    TFftThread(const TFftThread&) = delete;
    TFftThread& operator=(const TFftThread&) = delete;

    void Start();      // no effect while running
    void Terminate();  // asks the loop to leave; a step under way is finished
    void WaitFor();    // joins; no effect when not started
    bool Running() const { return thread_.joinable(); }

  private:
    void Run();

    std::function<void()> step_;
    std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool terminated_ = false;
    std::thread thread_;
};

}  // namespace lumatrace
