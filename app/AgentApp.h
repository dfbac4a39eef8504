#pragma once

// The windowed installer's shell: the application, its delegate that builds the one window at
// launch, that window, and the frame the window keeps across runs.
#include "app/InstallState.h"

#include <QCoreApplication>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QWidget>
#include <memory>

class QAction;
class QMenuBar;
class QTranslator;
class QVBoxLayout;

namespace talvo {

class InstallWorkerThread;
class InstallerBackend;

// Keeps a window's frame under a name in the user's settings: a frame saved by an earlier run
// replaces the window's initial one, and later moves and resizes are saved again. The window
// owns it.
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
    const QString name_;
    QSettings settings_;
};

// The installer's one window: 700 x 400, centred unless a frame was saved, with no title text.
class MainWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kContentWidth = 700;
    static constexpr int kContentHeight = 400;
    static constexpr const char* kFrameAutosaveName = "Talvo Backup Agent";

    MainWindow(InstallState& state, InstallWorkerThread& worker, InstallerBackend& backend);
    ~MainWindow() override;

    // The About box's text: the product and the version it was built as.
    static QString aboutText();
    void showAbout();

  protected:
    bool event(QEvent* event) override;
    // Refused while an installation runs: the engine cannot be interrupted, and a closed window
    // would leave a half-done installation going on unseen.
    void closeEvent(QCloseEvent* event) override;

  private:
    void center();
    void keepTextUncompressed();

    const InstallWorkerThread& worker_;
    QVBoxLayout* const layout_;
    // "About AgentInstaller": in the application menu on a Mac, in the window's context menu
    // elsewhere, so that the window itself looks as it always did.
    QAction* const aboutAction_;
    // Parentless: on a Mac it becomes the global menu bar; elsewhere it is never shown.
    std::unique_ptr<QMenuBar> menuBar_;
};

// Builds the window at launch, or, when the agent is already configured, opens its status
// application and quits.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    explicit AppDelegate(InstallerBackend& backend);
    ~AppDelegate() override;

    // Called once the event loop runs.
    void applicationDidFinishLaunching();
    // Closing the one window quits, whatever the screen.
    static bool applicationShouldTerminateAfterLastWindowClosed() { return true; }

    InstallState* installState() const { return state_; }
    InstallWorkerThread* worker() const { return worker_; }
    MainWindow* window() const { return window_.get(); }

  private:
    InstallerBackend& backend_;
    // Children of this delegate, made at launch.
    InstallState* state_ = nullptr;
    InstallWorkerThread* worker_ = nullptr;
    // A top-level window has no parent to own it.
    std::unique_ptr<MainWindow> window_;
};

// Installs the translation of the installer's texts for the system's language, when there is
// one: from the translations folder installed beside the program, else from the ones built in.
// Returns the translator, owned by the application; nullptr when the texts stay English.
QTranslator* installTranslation(QCoreApplication& application);

// The application: its delegate, and the event loop it runs until the user quits. Needs a
// QApplication.
class AgentApp {
  public:
    explicit AgentApp(InstallerBackend& backend);

    // Runs the installer; the application's exit status.
    int exec();

  private:
    AppDelegate appDelegate_;
};

} // namespace talvo
