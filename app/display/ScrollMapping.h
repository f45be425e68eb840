// The horizontal scroll bar over a record wider than the screen, or over the spectrum: scale,
// geometry, position to view start with sub-pixel alignment, and the Ctrl keys that drive it.
#pragma once

#include "app/display/InteractionHost.h"

namespace lumatrace {

// Scroll units per sample: 100, 10 or 1 for records of 10,000, 100,000 or 1,000,000 points.
int ScrollPerSample(int memoryPoints);
// Scroll units per spectrum bin, so that the bar spans the bins plus one screen.
double ScrollPerBinFor(int fftBins, int binsPerScreen);

ScrollGeometry TimeScrollGeometry(int screenSamples, int memoryPoints, int waveWidth);
ScrollGeometry SpectrumScrollGeometry(const SpectrumWindow& spectrum, int waveWidth);

// Moving the first shown item (sample or bin) from oldStart to newStart with pixelsPerItem
// pixels per item, the first item starting phase pixels into its column. A move of less than
// one pixel to the right is no move. Otherwise the result keeps the trace on whole pixels:
// the new start and the fraction of a pixel its first item starts at.
struct PixelMove {
    bool moves = false;
    long long start = 0;
    double phase = 0.0;
};
PixelMove AlignToPixel(long long oldStart, long long newStart, double phase, double pixelsPerItem);

// ScrollBar1Scroll in the time view. Returns whether the view moved. A position beyond the last
// start puts the bar back to that start and moves nothing; the position it was put back to is
// stored in *setBackTo (else -1), for the end-of-scroll notice that follows.
bool ScrollTimeView(int position, const InteractionContext& ctx, InteractionHost& host,
                    int* setBackTo = nullptr);
// ScrollBar1Scroll while the spectrum is in front; as ScrollTimeView, with the last bin in the
// centre as the end.
bool ScrollSpectrumView(int position, const InteractionContext& ctx, InteractionHost& host,
                        int* setBackTo = nullptr);

enum class ScrollKey : int { PageUp, PageDown, End, Home, Left, Right, Insert, Other };
enum class ScrollCode : int { LineUp, LineDown, PageUp, PageDown, Top, Bottom, Position };

struct KeyScroll {
    bool handled = false;
    ScrollCode code = ScrollCode::Position;
    int position = 0;
    bool endOfScroll = false;  // the bar reached its end: an end-of-scroll event follows
};

// The scroll position a key gives. Only with Ctrl alone held and the bar enabled; Insert
// only while the bar scrolls the spectrum. The largest position the bar takes is
// kScrollMax - pageSize.
KeyScroll ScrollForKey(ScrollKey key, bool ctrlAlone, bool barEnabled, bool spectrumMode,
                       int position, const ScrollGeometry& geometry,
                       const SpectrumWindow& spectrum);

}  // namespace lumatrace
