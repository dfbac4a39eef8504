#include "app/SymbolPainting.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

namespace talvo {

void paintSymbol(QPainter& painter, QSvgRenderer& renderer, const QRectF& bounds, QColor color) {
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QSize pixels(static_cast<int>(std::ceil(bounds.width() * ratio)),
                       static_cast<int>(std::ceil(bounds.height() * ratio)));
    if (pixels.isEmpty()) {
        return;
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
        QPainter imagePainter(&image);
        imagePainter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&imagePainter, QRectF(QPointF(), bounds.size()));
        imagePainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        imagePainter.fillRect(QRectF(QPointF(), bounds.size()), color);
    }
    painter.drawImage(bounds.topLeft(), image);
}

} // namespace talvo
