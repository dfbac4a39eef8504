#include "app/InstallState.h"

namespace talvo {

InstallState::InstallState(QObject* parent) : QObject(parent) {}

void InstallState::setStatus(InstallStatus status) {
    status_ = status;
    emit statusChanged(status_);
}

void InstallState::setShowFDAView(bool show) {
    showFDAView_ = show;
    emit showFDAViewChanged(showFDAView_);
}

} // namespace talvo
