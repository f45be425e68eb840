// Turns the two channels' signals into sample words: both converters'
// codes packed into one word per instant, over a uniform grid of instants,
// honouring front-end settings that changed part way through.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/firmware/SignalModel.h"

namespace lumatrace::device {

// Sample word of an index that holds no sample.
inline constexpr uint32_t kNoSample = 0xFFFFFFFFu;

// Front-end state in force from an instant on: what each converter sees.
struct Epoch {
    Picoseconds since = 0;
    std::shared_ptr<const CompiledSignal> channel[2];
};

class SampleRenderer {
  public:
    SampleRenderer();

    // out[k] = the word sampled at first + (index + k) x dt, k < count, each
    // instant under the last epoch that began at or before it (the first
    // epoch for instants before all of them). `epochs` is in time order.
    void render(const std::vector<Epoch>& epochs, Picoseconds first, Picoseconds dt, uint32_t index,
                uint32_t count, uint32_t* out);

  private:
    std::vector<double> a_, b_;
};

}  // namespace lumatrace::device
