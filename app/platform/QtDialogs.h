#pragma once

#include <cstdint>

#include <QColor>

#include "app/platform/Dialogs.h"

class QWidget;

namespace lumatrace {

// Windows colour values (0x00BBGGRR) and Qt colours.
QColor WindowsColorToQColor(std::uint32_t color);
std::uint32_t QColorToWindowsColor(const QColor& color);

// QFileDialog, configured from the options.
class QtFileDialogService final : public FileDialogService {
  public:
    explicit QtFileDialogService(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<FileDialogResult> GetOpenFileName(const FileDialogOptions& options) override;
    std::optional<FileDialogResult> GetSaveFileName(const FileDialogOptions& options) override;

  private:
    std::optional<FileDialogResult> Run(const FileDialogOptions& options, bool save);

    QWidget* parent_;
};

// QColorDialog.
class QtColorDialogService final : public ColorDialogService {
  public:
    explicit QtColorDialogService(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) override;

  private:
    QWidget* parent_;
};

}  // namespace lumatrace
