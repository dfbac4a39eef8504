#pragma once

#include <QSvgRenderer>
#include <QWidget>

namespace talvo {

// An indeterminate circular activity indicator in the accent colour. It takes the layout room
// of a normal-sized indicator plus padding, and draws itself half as large again about its
// centre, into that padding.
class Spinner : public QWidget {
    Q_OBJECT

  public:
    explicit Spinner(QWidget* parent = nullptr);

    static constexpr int normalSize = 32;
    static constexpr qreal drawingScale = 1.5;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSvgRenderer renderer_;
};

} // namespace talvo
