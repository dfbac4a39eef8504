// The root view as a user meets it: the screen for each status, and the Full Disk Access sheet
// that follows the state over the success screen.
#include "AppFixture.h"

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString heading = QStringLiteral("Talvo Backup Agent Installer");
const QString openSettings =
    "open x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

} // namespace

class ContentViewTests : public QObject {
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
        QTRY_VERIFY(!app.worker.isRunning());
        QVERIFY(!app.worker.install(Config{}));
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

    // A sheet taken down by the state, rather than by its own buttons, is gone for good: the
    // replaced screens and sheets are deleted once the event loop has them, not kept hidden.
    void replacedScreensAndSheetsAreDeleted() {
        Launched app;
        app.state.setStatus(InstallStatus::installed);
        app.state.setShowFDAView(true);
        app.state.setShowFDAView(false);
        app.state.setStatus(InstallStatus::failed);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(app.window.findChildren<QDialog*>().size(), 0);
        QCOMPARE(app.window.findChildren<QLineEdit*>().size(), 0);
        QCOMPARE(visibleTexts(app.window),
                 (QStringList{heading, "Installation Failed. Please contact your "
                                       "support for assistance."}));
    }
};

QTEST_MAIN(ContentViewTests)
#include "ContentViewTests.moc"
