#include "app/Appearance.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace talvo::appearance {

namespace {

// Pixel sizes rather than points: the window's 700 x 400 layout is measured in pixels, and
// point sizes would grow with the screen's dots per inch.
int pixelSize(TextStyle style) {
    switch (style) {
    case TextStyle::largeTitle:
        return 26;
    case TextStyle::title:
        return 22;
    case TextStyle::title2:
        return 17;
    case TextStyle::title3:
        return 15;
    case TextStyle::body:
        return 13;
    case TextStyle::footnote:
        return 10;
    }
    return 13;
}

} // namespace

QFont font(TextStyle style, QFont::Weight weight) {
    QFont result = QApplication::font();
    result.setPixelSize(pixelSize(style));
    result.setWeight(weight);
    return result;
}

QColor accentColor() {
    return QApplication::palette().color(QPalette::Highlight);
}

QColor greenColor() {
    return QColor(52, 199, 89);
}

QColor windowBackgroundColor() {
    return QApplication::palette().color(QPalette::Window);
}

void useSecondaryTextColor(QWidget& widget) {
    QPalette palette = widget.palette();
    QColor secondary = palette.color(QPalette::WindowText);
    secondary.setAlphaF(0.55f);
    palette.setColor(QPalette::WindowText, secondary);
    widget.setPalette(palette);
}

} // namespace talvo::appearance
