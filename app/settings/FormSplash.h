// TFormSplash: the picture shown while the program starts.
#pragma once

#include <QWidget>

class QLabel;

namespace lumatrace {

// Frameless, sized to its picture and centred on the screen; no behaviour of
// its own.
class TFormSplash : public QWidget {
    Q_OBJECT

  public:
    explicit TFormSplash(QWidget* parent = nullptr);

    QLabel* ImageSplash;
};

}  // namespace lumatrace
