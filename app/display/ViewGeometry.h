#pragma once

#include <array>

namespace lumatrace {

// Pixel geometry of the graticule, derived from the size of the wave paint box.
struct ViewGeometry {
    int WaveWidth = 450;          // W: paint box width - 1
    int WaveHeight = 360;         // H: paint box height - 1
    std::array<int, 11> gridX{};  // vertical division lines, i = 0..10
    std::array<int, 9> gridY{};   // horizontal division lines, i = 0..8
    int DivHeight = 45;
    std::array<int, 6> tickX{};  // minor tick offsets, i = 1..5 (entry 0 is 0)
    std::array<int, 6> tickY{};
    double Ky = 0.9;  // pixels per position unit (1/50 division)
    double Kx = 0.9;  // pixels per horizontal cursor unit

    static ViewGeometry ForWaveBox(int boxWidth, int boxHeight);

    int WaveImageWidth() const { return WaveWidth + 1; }
    int WaveImageHeight() const { return WaveHeight + 1; }
};

}  // namespace lumatrace
