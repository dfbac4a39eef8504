#pragma once

// The installer's look and the pieces it draws itself: text styles and colours, the rounded
// panel, the tinted symbols, the spinner and the focus ring.
#include <QColor>
#include <QFont>
#include <QSvgRenderer>
#include <QWidget>

class QLayout;
class QPainter;

namespace talvo {

// The desktop's text styles, colours and default padding, at the sizes the screens are laid
// out for.
namespace appearance {

enum class TextStyle { largeTitle, title, title2, title3, body, footnote };

QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

// Space that views leave around themselves unless told otherwise.
inline constexpr int kDefaultPadding = 10;

QColor accentColor();
QColor greenColor();
QColor windowBackgroundColor();

// Draws a label's text in the dimmer colour used for supporting text.
void useSecondaryTextColor(QWidget& widget);

// Leaves the default padding on every side of the layout.
void setDefaultMargins(QLayout& layout);

} // namespace appearance

// Draws the SVG's current frame into the rectangle as a template: its alpha decides the shape,
// the colour fills it, as the desktop tints its symbol images.
void paintSymbol(QPainter& painter, QSvgRenderer& renderer, const QRectF& bounds, QColor color);

// A panel that fills itself with the window background as a rounded rectangle and casts a soft
// black shadow around itself, its children included.
class RoundedBackground : public QWidget {
    Q_OBJECT

  public:
    static constexpr qreal kCornerRadius = 15;
    static constexpr qreal kShadowRadius = 6;
    static constexpr qreal kShadowOpacity = 0.33;

    explicit RoundedBackground(QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A one-colour symbol drawn from an SVG resource: the drawing's shape, filled with the given
// colour, inside the widget's contents (padding goes in the contents margins).
class SymbolImage : public QWidget {
    Q_OBJECT

  public:
    SymbolImage(const QString& resource, QColor color, Qt::AspectRatioMode aspect, QWidget* parent);

    // Fixes the symbol's frame; the widget grows by the padding on every side.
    void setSymbolSize(QSize size, int padding);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer* const renderer_;
    const QColor color_;
};

// An indeterminate circular activity indicator in the accent colour. It takes the layout room
// of a normal-sized indicator plus padding, and draws itself half as large again about its
// centre, into that padding.
class Spinner : public QWidget {
    Q_OBJECT

  public:
    explicit Spinner(QWidget* parent);

    static constexpr int kNormalSize = 32;
    static constexpr qreal kDrawingScale = 1.5;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer* const renderer_;
};

// A ring drawn over a button while it has keyboard focus. The default button's outline already
// has the focus colour, and a filled or flat button has no frame the style could mark, so without
// it a keyboard user cannot tell which button Space would press. The control owns its ring.
class FocusRing : public QWidget {
    Q_OBJECT

  public:
    // Drawn in the colour given, which must stand out against the button's own fill.
    FocusRing(QWidget& control, QColor color);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QWidget& control_;
    const QColor color_;
};

} // namespace talvo
