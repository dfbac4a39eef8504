#pragma once

#include <QColor>
#include <QSvgRenderer>
#include <QWidget>

namespace talvo {

// A one-colour symbol drawn from an SVG resource: the drawing's shape, filled with the given
// colour, inside the widget's contents (padding goes in the contents margins).
class SymbolImage : public QWidget {
    Q_OBJECT

  public:
    SymbolImage(const QString& resource, QColor color, Qt::AspectRatioMode aspect,
                QWidget* parent = nullptr);

    // Fixes the symbol's frame; the widget grows by the padding on every side.
    void setSymbolSize(QSize size, int padding);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer renderer_;
    QColor color_;
};

} // namespace talvo
