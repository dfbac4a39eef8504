#include "app/ContentView.h"

#include "app/Drawing.h"
#include "app/FullDiskAccessView.h"
#include "app/InstallerView.h"
#include "app/StatusViews.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>
#include <utility>

namespace talvo {

ContentView::ContentView(InstallState& state, InstallWorkerThread& worker,
                         InstallerBackend& backend, QWidget* parent)
    : QWidget(parent), state_(state), worker_(worker), backend_(backend) {
    auto* const layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);

    auto* const heading = new QLabel(tr("Talvo Backup Agent Installer"), this);
    heading->setFont(appearance::font(appearance::TextStyle::largeTitle));
    auto* const divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    auto* const statusArea = new QWidget(this);
    statusLayout_ = new QVBoxLayout(statusArea);
    statusLayout_->setContentsMargins(0, 0, 0, 0);
    statusArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout->addWidget(heading, 0, Qt::AlignHCenter);
    layout->addWidget(divider);
    layout->addWidget(statusArea, 1);

    connect(&state_, &InstallState::statusChanged, this, &ContentView::showScreen);
    connect(&state_, &InstallState::showFDAViewChanged, this, &ContentView::showSheet);
    showScreen(state_.status());
    showSheet(state_.showFDAView());
}

void ContentView::showScreen(InstallStatus status) {
    // A write of the status already shown keeps the screen, and what was typed into it.
    if (shownStatus_ == status) {
        return;
    }
    QWidget* const statusArea = statusLayout_->parentWidget();
    if (screen_) {
        screen_->hide();
        statusLayout_->removeWidget(screen_);
        // Later, not now: a screen is replaced from inside its own signal handler (the Install
        // click), where deleting it at once would pull it out from under the running handler.
        screen_->deleteLater();
    }
    switch (status) {
    case InstallStatus::idle:
        screen_ = new InstallerView(worker_, statusArea);
        break;
    case InstallStatus::installing:
        screen_ = new InstallingView(statusArea);
        break;
    case InstallStatus::installed:
        screen_ = new SuccessView(statusArea);
        break;
    case InstallStatus::failed:
        screen_ = new ErrorView(statusArea);
        break;
    }
    shownStatus_ = status;
    statusLayout_->addWidget(screen_);
    screen_->show();
}

void ContentView::showSheet(bool show) {
    if (show && !sheet_) {
        sheet_ = new FullDiskAccessView(backend_, this);
        connect(sheet_, &QDialog::finished, this, &ContentView::sheetFinished);
        // Shown, not opened: open() makes it window-modal, and the window system then drops the
        // main window's close requests, while closing the window must end the installer whatever
        // the prompt shows. The success screen beneath has no control that modality would guard.
        sheet_->show();
    } else if (!show && sheet_) {
        // Taken out first, so that the sheet's own finished signal finds nothing to do.
        FullDiskAccessView* const sheet = std::exchange(sheet_, nullptr);
        sheet->reject();
        sheet->deleteLater();
    }
}

void ContentView::sheetFinished() {
    if (!sheet_) {
        return;
    }
    // However the sheet went away (Dismiss, Escape, its close button), the state follows. It is
    // deleted later: this runs inside the sheet's own signal.
    std::exchange(sheet_, nullptr)->deleteLater();
    state_.setShowFDAView(false);
}

} // namespace talvo
