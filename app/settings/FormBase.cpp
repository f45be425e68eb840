#include "app/settings/FormBase.h"

#include <QFont>

namespace lumatrace {

QFont PanelFont() {
    // Where Tahoma is missing, a condensed sans face keeps the panel's
    // captions close to the widths the layout was drawn for.
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QStringLiteral("Tahoma"),
            {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
             QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont ReadoutFont() {
    // Where the set-up's Japanese gothic face is missing, the system's own
    // fixed-pitch gothic face has the same half-width advance.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("IPAGothic"), {QStringLiteral("MS Gothic")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(8);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

TFormBase::TFormBase(QWidget* parent) : QMainWindow(parent) {
    setFont(PanelFont());
}

}  // namespace lumatrace
