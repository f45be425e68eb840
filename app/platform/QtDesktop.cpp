#include "app/platform/QtDesktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace lumatrace {

DesktopOpenResult QtDesktopService::OpenFile(const std::filesystem::path& file) {
    const QString path = QString::fromStdString(file.string());
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return DesktopOpenResult::NotFound;
    }
    // openUrl reports false when no application is registered for the kind
    // of file (or no desktop integration is available at all).
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()))) {
        return DesktopOpenResult::NoHandler;
    }
    return DesktopOpenResult::Opened;
}

}  // namespace lumatrace
