#pragma once

#include "app/DeferredDelete.h"
#include "app/FullDiskAccessView.h"
#include "app/InstallEngine.h"
#include "app/InstallState.h"
#include "app/Installation.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <optional>

namespace talvo {

// The window's whole content: the heading, a divider and the screen for the current status,
// with the Full Disk Access prompt as a sheet while the state asks for it.
class ContentView : public QWidget {
    Q_OBJECT

  public:
    ContentView(InstallState& state, Installation& installation, InstallEngine& engine,
                QWidget* parent = nullptr);

  private:
    void showScreen(InstallStatus status);
    void showSheet(bool show);
    void sheetFinished();

    InstallState& state_;
    Installation& installation_;
    InstallEngine& engine_;

    QVBoxLayout layout_{this};
    QLabel heading_;
    QFrame divider_;
    QWidget statusArea_;
    QVBoxLayout statusLayout_{&statusArea_};
    DeferredPtr<QWidget> screen_;
    std::optional<InstallStatus> shownStatus_;
    DeferredPtr<FullDiskAccessView> sheet_;
};

} // namespace talvo
