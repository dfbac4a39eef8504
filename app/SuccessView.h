#pragma once

#include "app/SymbolImage.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace talvo {

// Shown once the installation has succeeded, under the Full Disk Access prompt.
class SuccessView : public QWidget {
    Q_OBJECT

  public:
    explicit SuccessView(QWidget* parent = nullptr);

  private:
    QVBoxLayout layout_{this};
    SymbolImage checkmark_;
    QLabel title_;
    QLabel instructions_;
    QLabel closeNote_;
};

} // namespace talvo
