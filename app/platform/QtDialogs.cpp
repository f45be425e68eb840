#include "app/platform/QtDialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QStringList>

namespace lumatrace {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QColor WindowsColorToQColor(std::uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

std::uint32_t QColorToWindowsColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<std::uint32_t>(rgb.red()) | (static_cast<std::uint32_t>(rgb.green()) << 8) |
           (static_cast<std::uint32_t>(rgb.blue()) << 16);
}

std::optional<FileDialogResult> QtFileDialogService::GetOpenFileName(
    const FileDialogOptions& options) {
    return Run(options, false);
}

std::optional<FileDialogResult> QtFileDialogService::GetSaveFileName(
    const FileDialogOptions& options) {
    return Run(options, true);
}

std::optional<FileDialogResult> QtFileDialogService::Run(const FileDialogOptions& options,
                                                         bool save) {
    const std::vector<FileFilter> filters = ParseFileFilter(options.filter);
    QStringList nameFilters;
    for (const FileFilter& f : filters) {
        nameFilters << FromUtf8(ToQtNameFilters({f}));
    }

    QFileDialog dialog(parent_, FromUtf8(options.title), FromUtf8(options.initialFolder));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
    }
    int selected = options.filterIndex;
    if (selected < 1 || selected > nameFilters.size()) {
        selected = 1;
    }
    if (!nameFilters.isEmpty()) {
        dialog.selectNameFilter(nameFilters.at(selected - 1));
    }
    const auto applySuffix = [&](int index) {
        dialog.setDefaultSuffix(
            FromUtf8(DefaultSuffixFor(filters, index, options.defaultExtension)));
    };
    applySuffix(selected);
    if (options.nameForFilter) {
        // The name box must be reachable to be renamed.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& f) {
        const int index = static_cast<int>(nameFilters.indexOf(f)) + 1;
        applySuffix(index);
        auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (options.nameForFilter && nameBox) {
            nameBox->setText(FromUtf8(options.nameForFilter(nameBox->text().toStdString(), index)));
        }
    });
    if (!options.fileName.empty()) {
        dialog.selectFile(FromUtf8(options.fileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    FileDialogResult result;
    result.path = dialog.selectedFiles().constFirst().toStdString();
    const qsizetype chosen = nameFilters.indexOf(dialog.selectedNameFilter());
    result.filterIndex = chosen >= 0 ? static_cast<int>(chosen) + 1 : selected;
    return result;
}

std::optional<std::uint32_t> QtColorDialogService::ChooseColor(std::uint32_t initial) {
    const QColor chosen = QColorDialog::getColor(WindowsColorToQColor(initial), parent_);
    if (!chosen.isValid()) {
        return std::nullopt;
    }
    return QColorToWindowsColor(chosen);
}

}  // namespace lumatrace
