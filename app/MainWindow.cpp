#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace talvo {

namespace {

// Runs before the frame autosave member is built, so that a saved frame wins over the centre.
QWidget& centred(QWidget& window) {
    QRect frame(QPoint(), QSize(MainWindow::contentWidth, MainWindow::contentHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    window.setGeometry(frame);
    return window;
}

} // namespace

MainWindow::MainWindow(InstallState& state, Installation& installation, InstallEngine& engine)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowCloseButtonHint),
      installation_(installation), content_(state, installation, engine),
      frameAutosave_(centred(*this), QString::fromLatin1(frameAutosaveName)) {
    layout_.setContentsMargins(0, 0, 0, 0);
    layout_.addWidget(&content_);
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) {
        keepTextUncompressed();
    }
    return handled;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (installation_.isRunning()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// Wrapped paragraphs need more lines as the window narrows, and the layout alone would squeeze
// them and cut lines off. The window grows taller instead, never below what the screen needs at
// its current width.
void MainWindow::keepTextUncompressed() {
    const int needed =
        std::max(layout_.totalHeightForWidth(width()), layout_.totalMinimumSize().height());
    if (minimumHeight() != needed) {
        setMinimumHeight(needed);
    }
}

} // namespace talvo
