#pragma once

#include "app/Spinner.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace talvo {

// Shown while the engine runs: a spinner and what is going on.
class InstallingView : public QWidget {
    Q_OBJECT

  public:
    explicit InstallingView(QWidget* parent = nullptr);

  private:
    QVBoxLayout layout_{this};
    Spinner spinner_;
    QLabel title_;
    QLabel waitNote_;
    QLabel promptNote_;
};

} // namespace talvo
