#include "app/RoundedBackground.h"

#include "app/Appearance.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <memory>

namespace talvo {

RoundedBackground::RoundedBackground(QWidget* parent) : QWidget(parent) {
    auto shadow = std::make_unique<QGraphicsDropShadowEffect>();
    shadow->setBlurRadius(shadowRadius);
    shadow->setOffset(0, 0);
    // Black is black in linear and gamma-encoded sRGB alike, so only the opacity carries over.
    shadow->setColor(QColor::fromRgbF(0, 0, 0, static_cast<float>(shadowOpacity)));
    setGraphicsEffect(shadow.release()); // the widget owns its effect
}

void RoundedBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, appearance::windowBackgroundColor());
}

} // namespace talvo
