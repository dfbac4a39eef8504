// The installer's window as a user meets it: the passphrase choice, the screen for each status,
// the Full Disk Access sheet over it, the refusal to close mid-installation, the launch (and its
// already-configured shortcut) and the saved frame.
#include "AppTesting.h"
#include "app/AppDelegate.h"

#include <QScreen>
#include <QTimer>
#include <cstdlib>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString heading = QStringLiteral("Talvo Backup Agent Installer");
const QString openSettings =
    "open x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

} // namespace

class InstallerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void managedInstallShowsEachScreenAndThePromptThatFollowsTheState() {
        Launched app;
        QVERIFY(!app.sheet());
        QVERIFY(!visible<QLineEdit>(app.window, "Passphrase"));
        QVERIFY(!visible<QLineEdit>(app.window, "Confirm Passphrase"));
        app.chooseOwn("kept text", "other text");
        QCOMPARE(require<QLineEdit>(app.window, "Passphrase").echoMode(), QLineEdit::Password);
        // Neither a write of the status already shown nor the managed option clears the fields.
        app.state.setStatus(InstallStatus::idle);
        click(app.window, managedOption);
        QVERIFY(!visible<QLineEdit>(app.window, "Passphrase"));
        click(app.window, ownOption);
        QCOMPARE(require<QLineEdit>(app.window, "Passphrase").text(), "kept text");
        QCOMPARE(require<QLineEdit>(app.window, "Confirm Passphrase").text(), "other text");
        // What they hold is not the managed option's business.
        click(app.window, managedOption);
        QVERIFY(app.installEnabled());

        click(app.window, "Install");
        QCOMPARE(visibleTexts(app.window),
                 (QStringList{heading, "Installing...",
                              "Please wait while we install the Talvo Backup Agent...",
                              "You may see several access granting request pop-ups "
                              "during the installation."}));
        QTRY_VERIFY(app.sheet());
        QDialog& sheet = *app.sheet();
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
        QVERIFY(sheet.isVisible());
        click(sheet, "Dismiss");
        QVERIFY(!app.sheet());
        QCOMPARE(visibleTexts(app.window),
                 (QStringList{heading, "Installation Successful!",
                              "A Full Disk Access permission pop-up will appear "
                              "shortly.\n\nPlease follow the instructions to grant "
                              "access.\n\nOnce done, you can safely close this window.",
                              "You can safely close this window now!"}));

        // A second true while it is up brings no second sheet; Escape dismisses it too.
        app.state.setShowFDAView(true);
        app.state.setShowFDAView(true);
        QVERIFY(app.sheet());
        QTest::keyClick(app.sheet(), Qt::Key_Escape);
        QVERIFY(!app.sheet());
        // Installed is final: no second installation in the same run.
        QTRY_VERIFY(!app.installation.isRunning());
        QVERIFY(!app.installation.start(Config{}));
        QCOMPARE(app.engine.log(),
                 (QStringList{"status idle", "status installing", "run", "bootstrap",
                              "runStatusApp", "status installed", "sheet true", openSettings,
                              "sheet false", "sheet true", "sheet true", "sheet false"}));
    }

    void failureShowsItsScreenAndNothingElseHappens() {
        Launched app;
        app.engine.onRun = [](const Config&) { throw commandError(3); };
        click(app.window, "Install");
        QTRY_COMPARE(app.state.status(), InstallStatus::failed);
        QTest::qWait(50); // for any stray later write or call to arrive
        QCOMPARE(visibleTexts(app.window),
                 (QStringList{heading, "Installation Failed. Please contact your "
                                       "support for assistance."}));
        QCOMPARE(app.engine.log(), (QStringList{"status installing", "run", "status failed"}));
    }

    void windowStaysOpenUntilTheInstallationEnds() {
        Launched app;
        app.engine.held = true;
        click(app.window, "Install");
        QTRY_COMPARE(app.engine.log(), (QStringList{"status installing", "run"}));
        QVERIFY(!app.window.close());
        QVERIFY(app.window.isVisible());

        app.engine.release();
        QTRY_COMPARE(app.state.status(), InstallStatus::installed);
        QVERIFY(app.window.close());
    }

    void launchShowsTheWindowUnlessConfiguredThenOpensStatusAppAndQuits() {
        FakeInstallEngine engine;
        AppDelegate first(engine);
        first.applicationDidFinishLaunching();
        QVERIFY(QTest::qWaitForWindowExposed(first.window()));

        engine.configured = true;
        AppDelegate configured(engine);
        QTimer::singleShot(0, &configured, &AppDelegate::applicationDidFinishLaunching);
        // Ends the loop with another code should the installer fail to quit by itself.
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(engine.log(), QStringList{"runStatusApp"});
    }

    void firstLaunchIsCentredAndTheNextRestoresTheFrame() {
        const QRect moved(40, 30, 760, 480);
        {
            Launched app;
            QWidget& window = app.window;
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
        QCOMPARE(app.window.geometry(), moved);
    }
};

QTEST_MAIN(InstallerWindowTest)
#include "InstallerWindowTest.moc"
