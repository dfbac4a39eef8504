#pragma once

#include "app/InstallStatus.h"

#include <QObject>

namespace talvo {

// The run's one observable state. Every write notifies, the same value included, so observers
// never have to compare before they redraw.
class InstallState : public QObject {
    Q_OBJECT
    Q_PROPERTY(talvo::InstallStatus status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool showFDAView READ showFDAView WRITE setShowFDAView NOTIFY showFDAViewChanged)

  public:
    explicit InstallState(QObject* parent = nullptr);

    InstallStatus status() const { return status_; }
    void setStatus(InstallStatus status);

    // While true the Full Disk Access prompt is shown over the window.
    bool showFDAView() const { return showFDAView_; }
    void setShowFDAView(bool show);

  signals:
    void statusChanged(talvo::InstallStatus status);
    void showFDAViewChanged(bool show);

  private:
    InstallStatus status_ = InstallStatus::idle;
    bool showFDAView_ = false;
};

} // namespace talvo
