#pragma once

#include <QColor>
#include <QWidget>

namespace talvo {

// A ring drawn over a button while it has keyboard focus. The default button's outline already
// has the focus colour, and a filled or flat button has no frame the style could mark, so without
// it a keyboard user cannot tell which button Space would press.
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
    QColor color_;
};

} // namespace talvo
