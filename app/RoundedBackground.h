#pragma once

#include <QWidget>

namespace talvo {

// A panel that fills itself with the window background as a rounded rectangle and casts a soft
// black shadow around itself, its children included.
class RoundedBackground : public QWidget {
    Q_OBJECT

  public:
    static constexpr qreal cornerRadius = 15;
    static constexpr qreal shadowRadius = 6;
    static constexpr qreal shadowOpacity = 0.33;

    explicit RoundedBackground(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace talvo
