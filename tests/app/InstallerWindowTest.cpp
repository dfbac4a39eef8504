// The installer's window as a user meets it: the screen for each status, the Full Disk Access
// sheet over it, the already-configured shortcut and the saved frame.
#include "AppTesting.h"
#include "app/AppDelegate.h"

#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString heading = QStringLiteral("Talvo Backup Agent Installer");
const std::string openSettings =
    "open x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

// The installer launched over a fake engine, its window on screen.
struct Launched {
    Launched() : delegate(engine) {
        delegate.applicationDidFinishLaunching();
        if (!QTest::qWaitForWindowExposed(&window())) {
            qFatal("the window was never shown");
        }
    }

    QWidget& window() const { return *delegate.window(); }
    InstallState& state() const { return *delegate.installState(); }

    // What is on screen once replaced screens have gone.
    QStringList texts() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return visibleTexts(window());
    }

    FakeInstallEngine engine;
    AppDelegate delegate;
};

} // namespace

class InstallerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(settingsFolder_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder_.path());
        QCoreApplication::setOrganizationName("Talvo");
        QCoreApplication::setApplicationName("AgentInstallerTest");
    }

    void init() { QSettings().clear(); }

    void eachStatusShowsItsScreenAndSuccessBringsThePrompt() {
        Launched app;
        const QStringList first = app.texts();
        QVERIFY(first.contains(heading) && first.contains("Talvo Backup Agent Encryption Setup"));
        QVERIFY(!visibleSheet());

        // A write of the status already shown keeps the screen, and what was typed into it.
        click(app.window(), "I want to provide my own encryption passphrase");
        typeInto(app.window(), "Passphrase", "kept text");
        app.state().setStatus(InstallStatus::idle);
        const QLineEdit* kept = visible<QLineEdit>(app.window(), "Passphrase");
        QVERIFY(kept && kept->text() == "kept text");
        typeInto(app.window(), "Confirm Passphrase", "kept text");

        click(app.window(), "Install");
        QCOMPARE(app.texts(), (QStringList{heading, "Installing...",
                                           "Please wait while we install the Talvo Backup Agent...",
                                           "You may see several access granting request pop-ups "
                                           "during the installation."}));
        QTRY_VERIFY(visibleSheet());
        QDialog& sheet = *visibleSheet();
        QCOMPARE(sheet.windowModality(), Qt::WindowModal);
        QCOMPARE(visibleTexts(sheet),
                 (QStringList{"Full Disk Access Required",
                              "To ensure this app works properly, please grant Full Disk Access."
                              "\n\nOpen System Settings, go to:\n\n"
                              "Privacy & Security \u2192 Full Disk Access\n\n"
                              "Then restart the app.",
                              "Open System Settings", "Dismiss"}));
        QCOMPARE(cutOffTexts(sheet), QStringList{});

        // Opening the settings leaves the prompt up; Dismiss takes it down and the state follows.
        click(sheet, "Open System Settings");
        click(sheet, "Open System Settings");
        QVERIFY(sheet.isVisible());
        click(sheet, "Dismiss");
        QVERIFY(!visibleSheet());
        QCOMPARE(app.state().showFDAView(), false);
        QCOMPARE(app.texts(),
                 (QStringList{heading, "Installation Successful!",
                              "A Full Disk Access permission pop-up will appear "
                              "shortly.\n\nPlease follow the instructions to grant "
                              "access.\n\nOnce done, you can safely close this window.",
                              "You can safely close this window now!"}));
        QCOMPARE(app.engine.calls(), (std::vector<std::string>{"run", "bootstrap", "runStatusApp",
                                                               openSettings, openSettings}));

        app.state().setStatus(InstallStatus::failed);
        QCOMPARE(app.texts(), (QStringList{heading, "Installation Failed. Please contact your "
                                                    "support for assistance."}));
    }

    void windowStaysOpenUntilTheInstallationEnds() {
        Launched app;
        app.engine.behaviour = FakeInstallEngine::Behaviour::block;
        click(app.window(), "Install");
        QTRY_COMPARE(app.engine.calls(), std::vector<std::string>{"run"});
        QVERIFY(!app.window().close());
        QVERIFY(app.window().isVisible());

        app.engine.release();
        QTRY_COMPARE(app.state().status(), InstallStatus::installed);
        QVERIFY(app.window().close());
    }

    void promptFollowsTheStateAndEscapeDismissesIt() {
        Launched app;
        // A second true while it is up brings no second sheet.
        app.state().setShowFDAView(true);
        app.state().setShowFDAView(true);
        QVERIFY(visibleSheet());
        QTest::keyClick(visibleSheet(), Qt::Key_Escape);
        QVERIFY(!visibleSheet());
        QCOMPARE(app.state().showFDAView(), false);
    }

    void alreadyConfiguredOpensStatusAppAndQuits() {
        FakeInstallEngine engine;
        engine.configured = true;
        AppDelegate delegate(engine);
        QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
        // Ends the loop with another code should the installer fail to quit by itself.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(engine.calls(), std::vector<std::string>{"runStatusApp"});
    }

    void firstLaunchIsCentredAndTheNextRestoresTheFrame() {
        const QRect moved(40, 30, 760, 480);
        {
            Launched app;
            QWidget& window = app.window();
            // 700 wide, centred; only as much taller than 400 as this desktop's fonts need.
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(window.width(), 700);
            QVERIFY(window.height() >= 400 && window.height() <= 440);
            QCOMPARE(window.geometry().center().x(), screen.center().x());
            QVERIFY(std::abs(window.geometry().top() - (screen.center().y() - 200)) <= 1);
            QCOMPARE(cutOffTexts(window), QStringList{});
            // Narrowed as far as it goes, the window grows taller rather than cut a line off.
            window.resize(window.minimumWidth(), window.height());
            QTRY_COMPARE(window.width(), window.minimumWidth());
            QTRY_COMPARE(cutOffTexts(window), QStringList{});

            window.setGeometry(moved);
            QTRY_COMPARE(window.geometry(), moved);
            window.close();
        }
        Launched app;
        QCOMPARE(app.window().geometry(), moved);
    }

  private:
    QTemporaryDir settingsFolder_;
};

QTEST_MAIN(InstallerWindowTest)
#include "InstallerWindowTest.moc"
