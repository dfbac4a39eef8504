#include "app/Drawing.h"

#include <QApplication>
#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>

namespace talvo {

namespace appearance {

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

void setDefaultMargins(QLayout& layout) {
    layout.setContentsMargins(kDefaultPadding, kDefaultPadding, kDefaultPadding, kDefaultPadding);
}

} // namespace appearance

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

RoundedBackground::RoundedBackground(QWidget* parent) : QWidget(parent) {
    auto* const shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(kShadowRadius);
    shadow->setOffset(0, 0);
    // Black is black in linear and gamma-encoded sRGB alike, so only the opacity carries over.
    shadow->setColor(QColor::fromRgbF(0, 0, 0, static_cast<float>(kShadowOpacity)));
    setGraphicsEffect(shadow); // the widget owns its effect
}

void RoundedBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, appearance::windowBackgroundColor());
}

SymbolImage::SymbolImage(const QString& resource, QColor color, Qt::AspectRatioMode aspect,
                         QWidget* parent)
    : QWidget(parent), renderer_(new QSvgRenderer(resource, this)), color_(color) {
    renderer_->setAspectRatioMode(aspect);
}

void SymbolImage::setSymbolSize(QSize size, int padding) {
    setContentsMargins(padding, padding, padding, padding);
    setFixedSize(size.grownBy(contentsMargins()));
}

void SymbolImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSymbol(painter, *renderer_, contentsRect(), color_);
}

Spinner::Spinner(QWidget* parent)
    : QWidget(parent), renderer_(new QSvgRenderer(QStringLiteral(":/symbols/spinner.svg"), this)) {
    setContentsMargins(appearance::kDefaultPadding, appearance::kDefaultPadding,
                       appearance::kDefaultPadding, appearance::kDefaultPadding);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The renderer keeps its own frame clock and asks for each new frame.
    connect(renderer_, &QSvgRenderer::repaintNeeded, this, qOverload<>(&QWidget::update));
}

QSize Spinner::sizeHint() const {
    return QSize(kNormalSize, kNormalSize).grownBy(contentsMargins());
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const qreal side = kNormalSize * kDrawingScale;
    QRectF drawing(0, 0, side, side);
    drawing.moveCenter(QRectF(contentsRect()).center());
    paintSymbol(painter, *renderer_, drawing, appearance::accentColor());
}

namespace {

constexpr int kRingWidth = 2;
// Inside the button's edge, so that the ring stays clear of its outline and its rounded corners.
constexpr int kRingInset = 3;
constexpr qreal kRingRadius = 4;

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
    painter.setPen(QPen(color_, kRingWidth));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = kRingInset + kRingWidth / 2.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kRingRadius,
                            kRingRadius);
}

} // namespace talvo
