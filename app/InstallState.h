#pragma once

// The windowed installer's one observable state, and the statuses it moves through.
#include <QObject>

namespace talvo {
Q_NAMESPACE

// Where the installation stands; each case has its own screen.
enum class InstallStatus {
    idle,       // nothing started yet
    installing, // the engine is running
    installed,  // the engine returned without error
    failed,     // the engine raised an error
};
Q_ENUM_NS(InstallStatus)

// The run's one observable state. Every write notifies, the same value included, so observers
// never have to compare before they redraw.
class InstallState : public QObject {
    Q_OBJECT
    Q_PROPERTY(talvo::InstallStatus status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool showFDAView READ showFDAView WRITE setShowFDAView NOTIFY showFDAViewChanged)

  public:
    explicit InstallState(QObject* parent = nullptr) : QObject(parent) {}

    InstallStatus status() const { return status_; }
    void setStatus(InstallStatus status) {
        status_ = status;
        emit statusChanged(status_);
    }

    // While true the Full Disk Access prompt is shown over the window.
    bool showFDAView() const { return showFDAView_; }
    void setShowFDAView(bool show) {
        showFDAView_ = show;
        emit showFDAViewChanged(showFDAView_);
    }

  signals:
    void statusChanged(talvo::InstallStatus status);
    void showFDAViewChanged(bool show);

  private:
    InstallStatus status_ = InstallStatus::idle;
    bool showFDAView_ = false;
};

} // namespace talvo
