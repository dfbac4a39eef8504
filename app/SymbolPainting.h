#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QSvgRenderer;

namespace talvo {

// Draws the SVG's current frame into the rectangle as a template: its alpha decides the shape,
// the colour fills it, as the desktop tints its symbol images.
void paintSymbol(QPainter& painter, QSvgRenderer& renderer, const QRectF& bounds, QColor color);

} // namespace talvo
