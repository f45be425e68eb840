#include "app/display/ViewGeometry.h"

#include <algorithm>

namespace lumatrace {

ViewGeometry ViewGeometry::ForWaveBox(int boxWidth, int boxHeight) {
    ViewGeometry g;
    // A box smaller than one pixel per division cannot show a graticule; keep the arithmetic
    // defined (no zero widths) instead of refusing the size.
    g.WaveWidth = std::max(boxWidth - 1, 1);
    g.WaveHeight = std::max(boxHeight - 1, 1);
    const int divWidth = g.WaveWidth / 10;
    g.DivHeight = g.WaveHeight / 8;
    for (int i = 0; i <= 10; ++i)
        g.gridX[i] = divWidth * i;
    for (int i = 0; i <= 8; ++i)
        g.gridY[i] = g.DivHeight * i;
    g.tickX[0] = g.tickY[0] = 0;
    for (int i = 1; i <= 5; ++i) {
        g.tickX[i] = (g.WaveWidth / 50) * i;
        g.tickY[i] = (g.DivHeight / 5) * i;
    }
    g.Ky = 10.0 * g.DivHeight / 500.0;
    g.Kx = g.WaveWidth / 500.0;
    return g;
}

}  // namespace lumatrace
