#include "app/Spinner.h"

#include "app/Appearance.h"
#include "app/SymbolPainting.h"

#include <QPainter>

namespace talvo {

Spinner::Spinner(QWidget* parent)
    : QWidget(parent), renderer_(QStringLiteral(":/symbols/spinner.svg")) {
    setContentsMargins(appearance::defaultPadding, appearance::defaultPadding,
                       appearance::defaultPadding, appearance::defaultPadding);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The renderer keeps its own frame clock and asks for each new frame.
    connect(&renderer_, &QSvgRenderer::repaintNeeded, this, qOverload<>(&QWidget::update));
}

QSize Spinner::sizeHint() const {
    return QSize(normalSize, normalSize).grownBy(contentsMargins());
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal side = normalSize * drawingScale;
    QRectF drawing(0, 0, side, side);
    drawing.moveCenter(QRectF(contentsRect()).center());
    paintSymbol(painter, renderer_, drawing, appearance::accentColor());
}

} // namespace talvo
