// Export of the screen as a picture: the view's four off-screen images
// composed with a title and the caption block, written as BMP or JPEG.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QImage>
#include <QLocale>

#include "app/platform/UiText.h"
#include "app/settings/ImageCaption.h"
#include "app/settings/WallClock.h"

namespace lumatrace {

class FileStore;
class MessageBoxService;

inline constexpr std::string_view kImageWriteErrorText =
    "ファイル書き込み中にエラーが発生しました。";
inline constexpr std::string_view kImageSaveCaption = UI_TEXT_NOOP("Files", "ファイル保存");

// The view's off-screen pictures, as they are at the moment of saving.
struct ViewPictures {
    QImage wave;       // graticule area with the traces
    QImage volt;       // channel marker strip left of the graticule
    QImage trigLevel;  // trigger-level strip right of it
    QImage trigPos;    // trigger-position strip above it
};

struct ImageExportRequest {
    std::filesystem::path fileName;
    // The extension the save dialog derived from the chosen filter (".jpg",
    // ".bmp"); the typed file name's own extension does not matter.
    std::string extension;
    ViewPictures pictures;
    ImageCaptionSettings settings;
};

enum class ImageFileFormat { Bmp, Jpeg };

// ".jpg" selects JPEG; any other text selects BMP.
ImageFileFormat ImageFormatForExtension(std::string_view extension);

// Places of the pieces in the composed picture, from the sizes of the four
// images (left strip, top strip, right strip, waveform).
struct ExportLayout {
    int x0 = 0, y0 = 0;  // waveform top-left
    int xR = 0, yB = 0;  // waveform right and bottom edges
    int xT = 0;          // left text margin
    int xE = 0;          // right text edge
    int width = 0;       // before any widening
    int height = 0;      // before the final height is set
};
ExportLayout ComputeExportLayout(QSize left, QSize top, QSize right, QSize wave);

// The widening rule: a line starting at `xT` that reaches the image's right
// edge makes the image `margin` pixels wider than the line's end.
int WidenedWidth(int imageWidth, int xT, int lineWidth, int margin);

// The font of the picture's texts ("Tahoma", 8 points, falling back to the
// system's sans-serif face).
QFont ExportFont();

// Composes the picture. A null image when the pictures cannot be composed
// (an empty waveform image, or memory for the picture not available).
QImage ComposeExportImage(const ViewPictures& pictures, const ImageCaption& caption);

// File bytes of the composed picture in the chosen format, nullopt when the
// encoder refuses it.
std::optional<std::vector<std::uint8_t>> EncodeExportImage(const QImage& image,
                                                           ImageFileFormat format);

// The date and time of the caption: the locale's short date and its long
// time (without a time-zone name, which the system's long time leaves out).
std::string FormatCaptionDateTime(const LocalDateTime& t, const QLocale& locale);

// The system's local time.
class SystemWallClock final : public WallClock {
  public:
    LocalDateTime Now() override;
};

// Composes, encodes and writes; any failure is reported to the user by the
// message box and gives false.
class ImageExporter {
  public:
    ImageExporter(FileStore& files, MessageBoxService& messages, WallClock& clock,
                  QLocale locale = QLocale::system())
        : files_(files), messages_(messages), clock_(clock), locale_(std::move(locale)) {}

    bool Export(const ImageExportRequest& request);

  private:
    bool Fail();

    FileStore& files_;
    MessageBoxService& messages_;
    WallClock& clock_;
    QLocale locale_;
};

}  // namespace lumatrace
