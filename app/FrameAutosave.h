#pragma once

#include <QObject>
#include <QSettings>
#include <QString>

class QWidget;

namespace talvo {

// Keeps a window's frame under a name in the user's settings: a frame saved by an earlier run
// replaces the window's initial one, and later moves and resizes are saved again.
class FrameAutosave : public QObject {
    Q_OBJECT

  public:
    // Restores the saved frame, if there is one, and starts following the window.
    FrameAutosave(QWidget& window, QString name);

    QString settingsKey() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void save();

    QWidget& window_;
    QString name_;
    QSettings settings_;
};

} // namespace talvo
