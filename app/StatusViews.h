#pragma once

// The screens that only report: the progress screen while the engine runs, and the success
// screen the Full Disk Access prompt appears over.
#include <QWidget>

namespace talvo {

// Shown while the engine runs: a spinner and what is going on.
class InstallingView : public QWidget {
    Q_OBJECT

  public:
    explicit InstallingView(QWidget* parent);
};

// Shown once the installation has succeeded, under the Full Disk Access prompt.
class SuccessView : public QWidget {
    Q_OBJECT

  public:
    explicit SuccessView(QWidget* parent);
};

} // namespace talvo
