#include "app/FocusRing.h"

#include <QEvent>
#include <QPainter>

namespace talvo {

namespace {

constexpr int ringWidth = 2;
// Inside the button's edge, so that the ring stays clear of its outline and its rounded corners.
constexpr int ringInset = 3;
constexpr qreal ringRadius = 4;

} // namespace

FocusRing::FocusRing(QWidget& control, QColor color)
    : QWidget(&control), control_(control), color_(color) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(control.rect());
    setVisible(control.hasFocus());
    control.installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &control_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::FocusIn:
        setGeometry(control_.rect());
        show();
        raise();
        break;
    case QEvent::FocusOut:
        hide();
        break;
    case QEvent::Resize:
        setGeometry(control_.rect());
        break;
    default:
        break;
    }
    return false;
}

void FocusRing::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color_, ringWidth));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = ringInset + ringWidth / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), ringRadius,
                            ringRadius);
}

} // namespace talvo
