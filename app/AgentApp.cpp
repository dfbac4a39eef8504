#include "app/AgentApp.h"

#include "app/ContentView.h"
#include "app/InstallWorkerThread.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <talvo/Version.h>

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

MainWindow::MainWindow(InstallState& state, InstallWorkerThread& worker, InstallerBackend& backend)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                           Qt::WindowCloseButtonHint),
      worker_(worker), layout_(new QVBoxLayout(this)),
      aboutAction_(new QAction(tr("About AgentInstaller"), this)),
      menuBar_(std::make_unique<QMenuBar>()) {
    aboutAction_->setMenuRole(QAction::AboutRole);
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::showAbout);
    addAction(aboutAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    menuBar_->addMenu(tr("Help"))->addAction(aboutAction_);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(new ContentView(state, worker, backend, this));
    // Centred first, then the saved frame, if any, wins over the centre.
    center();
    new FrameAutosave(*this, QString::fromLatin1(kFrameAutosaveName));
}

MainWindow::~MainWindow() = default;

QString MainWindow::aboutText() {
    return tr("Talvo Backup Agent Installer\nVersion %1").arg(QString::fromLatin1(kVersion));
}

void MainWindow::showAbout() {
    QMessageBox::about(this, tr("About AgentInstaller"), aboutText());
}

void MainWindow::center() {
    QRect frame(QPoint(), QSize(kContentWidth, kContentHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    setGeometry(frame);
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) {
        keepTextUncompressed();
    }
    return handled;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (worker_.isRunning()) {
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
        std::max(layout_->totalHeightForWidth(width()), layout_->totalMinimumSize().height());
    if (minimumHeight() != needed) {
        setMinimumHeight(needed);
    }
}

AppDelegate::AppDelegate(InstallerBackend& backend) : backend_(backend) {}

AppDelegate::~AppDelegate() {
    // In this order, not Qt's order of children: the window's screens use the worker and the
    // state, and the worker waits for an engine call in progress before the state goes.
    window_.reset();
    delete worker_;
}

void AppDelegate::applicationDidFinishLaunching() {
    state_ = new InstallState(this);
    worker_ = new InstallWorkerThread(*state_, backend_, this);
    window_ = std::make_unique<MainWindow>(*state_, *worker_, backend_);
    window_->show();
    window_->raise();
    window_->activateWindow();

    if (backend_.isInitialized()) {
        backend_.runStatusApp();
        QCoreApplication::quit();
    }
}

QTranslator* installTranslation(QCoreApplication& application) {
    const QStringList folders{
        QDir(QCoreApplication::applicationDirPath())
            .filePath(QStringLiteral("../share/talvo-backup-agent-installer/translations")),
        QStringLiteral(":/i18n")};
    auto translator = std::make_unique<QTranslator>(&application);
    for (const auto& folder : folders) {
        if (translator->load(QLocale::system(), QStringLiteral("AgentInstaller"),
                             QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator.get());
            return translator.release();
        }
    }
    return nullptr;
}

AgentApp::AgentApp(InstallerBackend& backend) : appDelegate_(backend) {}

int AgentApp::exec() {
    QCoreApplication::setOrganizationName(QStringLiteral("Talvo"));
    QCoreApplication::setApplicationName(QStringLiteral("AgentInstaller"));
    QApplication::setQuitOnLastWindowClosed(
        AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
    QTimer::singleShot(0, &appDelegate_, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}

} // namespace talvo
