#pragma once

// The window's root view, which picks the screen for each status.
#include "app/InstallState.h"

#include <QWidget>
#include <optional>

class QVBoxLayout;

namespace talvo {

class FullDiskAccessView;
class InstallWorkerThread;
class InstallerBackend;

// The window's whole content: the heading, a divider and the screen for the current status,
// with the Full Disk Access prompt as a sheet while the state asks for it.
class ContentView : public QWidget {
    Q_OBJECT

  public:
    ContentView(InstallState& state, InstallWorkerThread& worker, InstallerBackend& backend,
                QWidget* parent);

  private:
    void showScreen(InstallStatus status);
    void showSheet(bool show);
    void sheetFinished();

    InstallState& state_;
    InstallWorkerThread& worker_;
    InstallerBackend& backend_;

    QVBoxLayout* statusLayout_;
    // Owned by the status area; replaced as a whole when the status changes.
    QWidget* screen_ = nullptr;
    std::optional<InstallStatus> shownStatus_;
    // Owned by this view while it is up.
    FullDiskAccessView* sheet_ = nullptr;
};

} // namespace talvo
