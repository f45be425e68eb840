#include "app/display/QtViewSurfaces.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace lumatrace {

namespace {
int Index(ViewImage image) {
    return static_cast<int>(image);
}

// Calls piece(tx, ty, first, last) for each stretch of the run that lies in one tile, tile
// (tx, ty), pixels first..last along the run.
template <typename Piece>
void ForEachTilePiece(const TileDamage::Run& run, Piece piece) {
    for (int first = run.first; first <= run.last;) {
        const int last = std::min(run.last, first | (TileDamage::kTileSize - 1));
        const int tx = (run.vertical ? run.at : first) >> TileDamage::kTileShift;
        const int ty = (run.vertical ? first : run.at) >> TileDamage::kTileShift;
        piece(tx, ty, first, last);
        first = last + 1;
    }
}
}  // namespace

QtViewSurfaces::QtViewSurfaces() {
    for (int i = 0; i < kViewImageCount; ++i) {
        canvases_[i].SetImage(&images_[i]);
    }
    canvases_[Index(ViewImage::Wave)].SetDamage(&waveDamage_);
}

void QtViewSurfaces::Resize(const ViewImageSizes& sizes) {
    for (int i = 0; i < kViewImageCount; ++i) {
        const ImageSize s = sizes.Of(static_cast<ViewImage>(i));
        const int w = s.width > 0 ? s.width : 1;
        const int h = s.height > 0 ? s.height : 1;
        if (images_[i].width() == w && images_[i].height() == h) {
            continue;
        }
        canvases_[i].End();
        images_[i] = QImage(w, h, QImage::Format_RGB32);
        images_[i].fill(Qt::white);
        if (i == Index(ViewImage::Wave)) {
            waveDamage_.Reset(w, h);
        }
        if (i == Index(ViewImage::Grid)) {
            gridChanged_ = true;
        }
    }
}

const QImage& QtViewSurfaces::Image(ViewImage image) {
    canvases_[Index(image)].End();
    return images_[Index(image)];
}

Canvas& QtViewSurfaces::CanvasFor(ViewImage image) {
    if (image == ViewImage::Grid) {
        gridChanged_ = true;
    }
    return canvases_[Index(image)];
}

void QtViewSurfaces::CopyGridToWave() {
    canvases_[Index(ViewImage::Grid)].End();
    canvases_[Index(ViewImage::Wave)].End();
    const QImage& grid = images_[Index(ViewImage::Grid)];
    QImage& wave = images_[Index(ViewImage::Wave)];
    if (grid.size() != wave.size() || grid.format() != wave.format()) {
        QPainter p(&wave);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, grid);
        p.end();
        waveDamage_.Clean();
        return;
    }
    const auto stride = static_cast<std::size_t>(grid.bytesPerLine());
    const uchar* from = grid.constBits();
    uchar* to = wave.bits();
    if (gridChanged_ || waveDamage_.All()) {
        std::memcpy(to, from, stride * static_cast<std::size_t>(grid.height()));
        if (gridChanged_)
            IndexGridRows(grid);
        waveDamage_.Clean();
        gridChanged_ = false;
        return;
    }
    // Row y of the graticule, from the few distinct rows it is made of when they are known.
    const std::size_t gridWidth = static_cast<std::size_t>(grid.width());
    auto gridRow = [&](int y) -> const std::uint32_t* {
        if (!gridRowIndex_.empty())
            return gridRows_.data() + gridRowIndex_[static_cast<std::size_t>(y)] * gridWidth;
        return reinterpret_cast<const std::uint32_t*>(from + static_cast<std::size_t>(y) * stride);
    };
    constexpr int kTile = TileDamage::kTileSize;
    const int width = grid.width();
    const int height = grid.height();
    const int tilesX = waveDamage_.TilesX();
    const int tilesY = waveDamage_.TilesY();
    const std::vector<TileDamage::Run>& runs = waveDamage_.Runs();
    // A tile that holds many pixels of runs is copied whole: rows of a tile copy faster than
    // a column's pixels one below the other, which share no cache line.
    copyTile_.assign(static_cast<std::size_t>(tilesX) * tilesY, 0);
    runPixels_.assign(copyTile_.size(), 0);
    auto tile = [&](int tx, int ty) { return static_cast<std::size_t>(ty) * tilesX + tx; };
    for (const TileDamage::Run& run : runs) {
        // Pixels of the run per tile it crosses.
        ForEachTilePiece(run, [&](int tx, int ty, int first, int last) {
            std::uint16_t& n = runPixels_[tile(tx, ty)];
            n = static_cast<std::uint16_t>(std::min(n + (last - first + 1), 0xFFFF));
        });
    }
    for (int ty = 0; ty < tilesY; ++ty) {
        for (int tx = 0; tx < tilesX; ++tx) {
            copyTile_[tile(tx, ty)] =
                waveDamage_.Dirty(tx, ty) || runPixels_[tile(tx, ty)] >= kDenseRunPixels;
        }
    }
    // The tiles, runs of them in a tile row copied row by row as one span.
    for (int ty = 0; ty < tilesY; ++ty) {
        int tx = 0;
        while (tx < tilesX) {
            if (!copyTile_[tile(tx, ty)]) {
                ++tx;
                continue;
            }
            const int runStart = tx;
            while (tx < tilesX && copyTile_[tile(tx, ty)]) {
                ++tx;
            }
            const int x0 = runStart * kTile;
            const int x1 = std::min(tx * kTile, width);
            const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 4;
            for (int y = ty * kTile; y < std::min((ty + 1) * kTile, height); ++y) {
                const std::size_t offset =
                    static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x0) * 4;
                std::memcpy(to + offset, gridRow(y) + x0, bytes);
            }
        }
    }
    // The parts of runs in the other tiles, pixel by pixel.
    auto* target = reinterpret_cast<std::uint32_t*>(to);
    const std::size_t words = stride / 4;
    for (const TileDamage::Run& run : runs) {
        ForEachTilePiece(run, [&](int tx, int ty, int first, int last) {
            if (copyTile_[tile(tx, ty)])
                return;
            if (run.vertical) {
                std::size_t at =
                    static_cast<std::size_t>(first) * words + static_cast<std::size_t>(run.at);
                for (int y = first; y <= last; ++y, at += words)
                    target[at] = gridRow(y)[run.at];
            } else {
                const std::size_t at =
                    static_cast<std::size_t>(run.at) * words + static_cast<std::size_t>(first);
                std::memcpy(target + at, gridRow(run.at) + first,
                            static_cast<std::size_t>(last - first + 1) * 4);
            }
        });
    }
    waveDamage_.Clean();
    gridChanged_ = false;
}

void QtViewSurfaces::IndexGridRows(const QImage& grid) {
    // The graticule is a handful of distinct rows (background with the dots of the vertical
    // lines or without, the dotted horizontal lines, the scale's ticks); restoring from those
    // reads a small table that stays in the cache instead of the whole picture.
    gridRows_.clear();
    gridRowIndex_.clear();
    const int width = grid.width();
    const int height = grid.height();
    const std::size_t words = static_cast<std::size_t>(width);
    std::vector<std::uint64_t> hashes;
    std::vector<std::uint32_t> index(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(grid.constScanLine(y));
        std::uint64_t hash = 1469598103934665603u;
        for (std::size_t x = 0; x < words; ++x)
            hash = (hash ^ row[x]) * 1099511628211u;
        std::size_t k = 0;
        while (k < hashes.size() && (hashes[k] != hash || std::memcmp(gridRows_.data() + k * words,
                                                                      row, words * 4) != 0))
            ++k;
        if (k == hashes.size()) {
            if (hashes.size() == kMaxGridRows) {
                gridRows_.clear();
                return;  // an unusual graticule: restore from the picture itself
            }
            hashes.push_back(hash);
            gridRows_.insert(gridRows_.end(), row, row + words);
        }
        index[static_cast<std::size_t>(y)] = static_cast<std::uint32_t>(k);
    }
    gridRowIndex_ = std::move(index);
}

void QtViewSurfaces::Finish() {
    for (QImageCanvas& c : canvases_) {
        c.End();
    }
}

void QtViewSurfaces::Present() {
    Finish();
    if (presenter_) {
        presenter_();
    }
}

}  // namespace lumatrace
