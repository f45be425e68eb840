#include "app/settings/FormSplash.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "app/settings/PanelArt.h"

namespace lumatrace {

TFormSplash::TFormSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("FormSplash"));
    ImageSplash = new QLabel(this);
    ImageSplash->setObjectName(QStringLiteral("ImageSplash"));
    ImageSplash->setPixmap(QPixmap::fromImage(SplashImage()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ImageSplash);
    setFixedSize(kSplashWidth, kSplashHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - QPoint(kSplashWidth / 2, kSplashHeight / 2));
    }
}

}  // namespace lumatrace
