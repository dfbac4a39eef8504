#include "app/FrameAutosave.h"

#include <QEvent>
#include <QWidget>

namespace talvo {

FrameAutosave::FrameAutosave(QWidget& window, QString name)
    : QObject(&window), window_(window), name_(std::move(name)) {
    const QByteArray saved = settings_.value(settingsKey()).toByteArray();
    if (!saved.isEmpty()) {
        window_.restoreGeometry(saved);
    }
    window_.installEventFilter(this);
}

QString FrameAutosave::settingsKey() const {
    return QStringLiteral("WindowFrames/") + name_;
}

bool FrameAutosave::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        if (window_.isVisible()) {
            save();
        }
        break;
    case QEvent::Close:
        save();
        // Written now: quitting with an installation still running skips destructors.
        settings_.sync();
        break;
    default:
        break;
    }
    return false;
}

void FrameAutosave::save() {
    settings_.setValue(settingsKey(), window_.saveGeometry());
}

} // namespace talvo
