#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace talvo {

// Shown when the installation failed. It says nothing of the cause and offers no retry.
class ErrorView : public QWidget {
    Q_OBJECT

  public:
    explicit ErrorView(QWidget* parent = nullptr);

  private:
    QVBoxLayout layout_{this};
    QLabel message_;
};

} // namespace talvo
