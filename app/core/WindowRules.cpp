#include "app/core/WindowRules.h"

#include <algorithm>
#include <cctype>

namespace lumatrace {

namespace {

std::string Lower(std::string_view text) {
    std::string l(text);
    std::transform(l.begin(), l.end(), l.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return l;
}

}  // namespace

int RaiseToMultiple(int x, int m) {
    const int r = x % m;
    if (r == 0) {
        return 0;
    }
    return r > 0 ? m - r : -r;
}

SizeLimits ComputeSizeLimits(Size workArea, int minWidthExtra, int minHeightExtra, bool maximised,
                             int windowLeft) {
    SizeLimits limits;
    limits.minimum = {minWidthExtra + 462, minHeightExtra + 372};
    const int c = maximised && windowLeft < 0 ? -2 * windowLeft : 0;
    const int w0 = workArea.width - minWidthExtra;
    int w = w0 + RaiseToMultiple(w0 - 12, 50);
    if (w + minWidthExtra > workArea.width + c) {
        w = (w0 - 50) + RaiseToMultiple(w0 - 62, 50);
    }
    int h = ((w - 12) / 10) * 8 + 12;
    if (h + minHeightExtra > workArea.height + c) {
        const int h0 = workArea.height - minHeightExtra;
        h = (h0 - 40) + RaiseToMultiple(h0 - 52, 40);
    }
    limits.maximum = {((h - 12) / 8) * 10 + 12 + minWidthExtra, h + minHeightExtra};
    return limits;
}

Size SnapWaveArea(int widthChange, int heightChange, Size mainPanelClient) {
    Size s;
    if (std::abs(widthChange) >= std::abs(heightChange)) {
        s.width = mainPanelClient.width - 48;
        s.width += RaiseToMultiple(s.width - 12, 50);
        s.height = ((s.width - 12) / 10) * 8 + 12;
    } else {
        s.height = mainPanelClient.height - 63;
        s.height += RaiseToMultiple(s.height - 12, 40);
        s.width = ((s.height - 12) / 8) * 10 + 12;
    }
    return s;
}

StripSplit SplitWaveRemainder(int boxHeight) {
    const int rest = (boxHeight - 1) % 40;
    if (boxHeight < 1 || rest == 0) {
        return {boxHeight, 0, 0};
    }
    return {boxHeight - rest, rest - rest / 2, rest / 2};
}

std::string ExtractWaveFileName(std::string_view commandLine) {
    std::string text(commandLine);
    const std::string marker = ".exe\" ";
    const std::size_t exe = Lower(text).find(marker);
    if (exe != std::string::npos) {
        text.erase(0, exe + marker.size());
    }
    const std::size_t zep = Lower(text).find(".zep");
    if (zep != std::string::npos) {
        text.erase(zep + 4);
    }
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string WaveFileFromArguments(const std::vector<std::string>& arguments) {
    return arguments.empty() ? std::string() : ExtractWaveFileName(arguments.front());
}

}  // namespace lumatrace
