#include "app/SymbolImage.h"

#include "app/SymbolPainting.h"

#include <QPainter>

namespace talvo {

SymbolImage::SymbolImage(const QString& resource, QColor color, Qt::AspectRatioMode aspect,
                         QWidget* parent)
    : QWidget(parent), renderer_(resource), color_(color) {
    renderer_.setAspectRatioMode(aspect);
}

void SymbolImage::setSymbolSize(QSize size, int padding) {
    setContentsMargins(padding, padding, padding, padding);
    setFixedSize(size.grownBy(contentsMargins()));
}

void SymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSymbol(painter, renderer_, contentsRect(), color_);
}

} // namespace talvo
