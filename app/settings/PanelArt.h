// The program's own pictures, drawn in code: tool bar images (24 x 24, an
// enabled and a disabled set), the cursor-selector glyphs, the program
// picture and the splash artwork.
#pragma once

#include <string_view>

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace lumatrace {

inline constexpr int kToolImageSize = 24;
inline constexpr int kSplashWidth = 539;
inline constexpr int kSplashHeight = 406;

// Image of a tool bar action (A_Open, A_Save, ..., A_Normal); a null image for
// names without one.
QImage ToolImage(std::string_view action, bool enabled);
// The enabled and disabled images as one icon.
QIcon ToolIcon(std::string_view action);

// Cursor-selector glyphs: 0 and 1 for the delta-T pair (cursor 1 or 2
// selected), 2 and 3 for the delta-V pair.
QImage CursorSelectorGlyph(int index);

// The program picture (square, of the given edge).
QImage ProgramImage(int size);

// The splash picture, kSplashWidth x kSplashHeight.
QImage SplashImage();

}  // namespace lumatrace
