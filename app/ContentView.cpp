#include "app/ContentView.h"

#include "app/Appearance.h"
#include "app/ErrorView.h"
#include "app/InstallerView.h"
#include "app/InstallingView.h"
#include "app/SuccessView.h"

namespace talvo {

ContentView::ContentView(InstallState& state, Installation& installation, InstallEngine& engine,
                         QWidget* parent)
    : QWidget(parent), state_(state), installation_(installation), engine_(engine) {
    layout_.setContentsMargins(10, 10, 10, 10);
    layout_.setSpacing(10);

    heading_.setText(tr("Talvo Backup Agent Installer"));
    heading_.setFont(appearance::font(appearance::TextStyle::largeTitle));
    divider_.setFrameShape(QFrame::HLine);
    divider_.setFrameShadow(QFrame::Sunken);
    statusLayout_.setContentsMargins(0, 0, 0, 0);
    statusArea_.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    layout_.addWidget(&heading_, 0, Qt::AlignHCenter);
    layout_.addWidget(&divider_);
    layout_.addWidget(&statusArea_, 1);

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
    if (screen_) {
        screen_->hide();
        statusLayout_.removeWidget(screen_.get());
    }
    switch (status) {
    case InstallStatus::idle:
        screen_ = makeDeferred<InstallerView>(installation_);
        break;
    case InstallStatus::installing:
        screen_ = makeDeferred<InstallingView>();
        break;
    case InstallStatus::installed:
        screen_ = makeDeferred<SuccessView>();
        break;
    case InstallStatus::failed:
        screen_ = makeDeferred<ErrorView>();
        break;
    }
    shownStatus_ = status;
    statusLayout_.addWidget(screen_.get());
    screen_->show();
}

void ContentView::showSheet(bool show) {
    if (show && !sheet_) {
        sheet_ = makeDeferred<FullDiskAccessView>(engine_, this);
        connect(sheet_.get(), &QDialog::finished, this, &ContentView::sheetFinished);
        // Shown, not opened: open() makes it window-modal, and the window system then drops the
        // main window's close requests, while closing the window must end the installer whatever
        // the prompt shows. The success screen beneath has no control that modality would guard.
        sheet_->show();
    } else if (!show && sheet_) {
        // Taken out first, so that the sheet's own finished signal finds nothing to do.
        const DeferredPtr<FullDiskAccessView> sheet = std::move(sheet_);
        sheet->reject();
    }
}

void ContentView::sheetFinished() {
    if (!sheet_) {
        return;
    }
    // However the sheet went away (Dismiss, Escape, its close button), the state follows.
    sheet_.reset();
    state_.setShowFDAView(false);
}

} // namespace talvo
