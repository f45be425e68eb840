#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/display/QImageCanvas.h"
#include "app/display/ViewLayers.h"

namespace lumatrace {

// The five off-screen pictures of the main window as 32-bit RGB images. The window resizes
// them with its paint boxes and shows them from its paint handlers; Present() tells it that a
// redraw has finished (through the presenter it installs, typically scheduling a repaint of
// the four paint boxes).
//
// The wave picture remembers which tiles and runs of pixels were drawn on since the graticule
// was last copied onto it, so the copy restores only those; the result is the full copy's.
class QtViewSurfaces : public ViewSurfaces {
  public:
    QtViewSurfaces();

    // Recreates the pictures whose size changed (filled with white).
    void Resize(const ViewImageSizes& sizes);
    void SetPresenter(std::function<void()> presenter) { presenter_ = std::move(presenter); }

    // A picture for display or export; painting on it is finished first.
    const QImage& Image(ViewImage image);

    Canvas& CanvasFor(ViewImage image) override;
    void CopyGridToWave() override;
    void Present() override;

    // Ends painting on every picture.
    void Finish();

  private:
    QImage images_[kViewImageCount];
    QImageCanvas canvases_[kViewImageCount];
    TileDamage waveDamage_;
    // Run pixels per tile at or above which the restore copies the tile whole.
    static constexpr int kDenseRunPixels = 48;
    std::vector<std::uint16_t> runPixels_;  // scratch of CopyGridToWave, per tile
    std::vector<std::uint8_t> copyTile_;
    // The graticule's distinct rows and, per row of it, which one it is; empty when the
    // graticule has more than kMaxGridRows distinct rows.
    static constexpr std::size_t kMaxGridRows = 256;
    void IndexGridRows(const QImage& grid);
    std::vector<std::uint32_t> gridRows_;
    std::vector<std::uint32_t> gridRowIndex_;
    bool gridChanged_ = true;
    std::function<void()> presenter_;
};

}  // namespace lumatrace
