#pragma once

// The screens that only report a status: progress while the engine runs, success under the Full
// Disk Access prompt, and failure.
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

// Shown when the installation failed. It says nothing of the cause and offers no retry.
class ErrorView : public QWidget {
    Q_OBJECT

  public:
    explicit ErrorView(QWidget* parent);
};

} // namespace talvo
