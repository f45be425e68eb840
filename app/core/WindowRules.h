// Size rules of the main window and the file name on its command line.
// The wave area keeps whole divisions of 10 by 8, each a multiple of 5
// pixels, plus a 12-pixel margin.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// What raises x to the next multiple of m (0 when x is one already).
int RaiseToMultiple(int x, int m);

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

struct SizeLimits {
    Size minimum;
    Size maximum;
};

// Window size limits for a work area. `extraWidth`/`extraHeight` are the
// window's minWidthExtra/minHeightExtra; a maximised window whose left edge
// lies off the work area may overhang by twice that much.
SizeLimits ComputeSizeLimits(Size workArea, int minWidthExtra, int minHeightExtra, bool maximised,
                             int windowLeft);

// Wave area after a sizing drag, from the main panel's client size: the
// dimension the user changed more decides, the other follows the 10:8 ratio.
Size SnapWaveArea(int widthChange, int heightChange, Size mainPanelClient);

// The wave paint box inside its panel: a height whose last pixel row does
// not close a whole number of 40-pixel divisions gives the remainder to the
// trigger-position strip above (the larger half) and the scroll-bar strip
// below.
struct StripSplit {
    int boxHeight;
    int extraAbove;
    int extraBelow;
};
StripSplit SplitWaveRemainder(int boxHeight);

// Waveform file named on a command line. A Windows command line (quoted
// program path ending in .exe, a blank, then the argument) drops the program
// part; the text is cut just behind ".zep" (any case), double quotes are
// removed and blanks trimmed. A text without ".zep" keeps its whole argument,
// so opening it reports what is wrong with it.
std::string ExtractWaveFileName(std::string_view commandLine);
// The same from an argument list without the program (the way a start or a
// second instance passes it here): the first argument.
std::string WaveFileFromArguments(const std::vector<std::string>& arguments);

}  // namespace lumatrace
