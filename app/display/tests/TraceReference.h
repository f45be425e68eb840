#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "app/display/Canvas.h"
#include "app/display/RecordingCanvas.h"
#include "app/display/WaveView.h"

namespace lumatrace::testing {

// The trace loop written the plain way: one pass over every index with a pixel accumulator,
// pen moves and lines issued as it goes. The fast path of WaveView must draw the same.
struct ReferenceTrace {
    const SampleWord* words = nullptr;
    TracePlan plan;
    int shift = 0;
    bool envelope = false;
    bool equivalent = false;
    bool draws = true;
    int trigPosition = 0;
    std::function<int(int code)> codeToY;
    std::function<void()> marker;  // called when the loop reaches the trigger index
};

struct ReferenceEnd {
    int x = 0;
    std::int64_t acc = 0;
};

ReferenceEnd DrawReferenceTrace(const ReferenceTrace& r, Canvas& canvas);

// Lines as they appear on a picture W pixels wide: zero-length lines and lines wholly left or
// right of it are dropped, as are pen changes. Marker pixels are kept as points so that their
// place in the order shows.
struct DrawnItem {
    bool isLine = true;
    Segment segment;
    Color color = 0;
    friend bool operator==(const DrawnItem&, const DrawnItem&) = default;
};
std::vector<DrawnItem> VisibleItems(const RecordingCanvas& canvas, int waveWidth);

// Deterministic test records.
struct RecordRecipe {
    int points = 10000;
    double cycles = 7.0;  // sine periods over the record
    int noise = 40;       // peak-to-peak code noise
    int gapEvery = 0;     // > 0: a NoSample run starts every gapEvery indices
    int gapLength = 0;
    int leadingGap = 0;
    int trailingGap = 0;
    int keepEvery = 0;  // > 0: only every keepEvery-th index holds a sample
    unsigned seed = 1;
};
void FillRecord(SampleBuffer& buffer, const RecordRecipe& recipe);

}  // namespace lumatrace::testing
