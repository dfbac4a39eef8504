// The installer's window as a user meets it: the passphrase choice, the screen for each status,
// the Full Disk Access sheet over it, closing the window, keyboard focus, the launch (and its
// already-configured shortcut) and the saved frame.
#include "AppTesting.h"
#include "app/AppDelegate.h"

#include <QClipboard>
#include <QScreen>
#include <QTimer>
#include <cstdlib>
#include <qpa/qwindowsysteminterface.h>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString heading = QStringLiteral("Talvo Backup Agent Installer");
const QString openSettings =
    "open x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
const QString lengthNote = QStringLiteral("A passphrase can be at most 1024 characters long.");

// A close request as the title bar's close button makes it: through the window system, which
// drops it for a window that a modal window blocks. QWidget::close() would skip that check.
bool requestClose(const QWidget& window) {
    return QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
        window.windowHandle());
}

// Replaces the field's text by pasting from the clipboard, as Ctrl+A, Ctrl+V would.
void pasteInto(const QWidget& root, const QString& placeholder, const QString& text) {
    QLineEdit& field = require<QLineEdit>(root, placeholder);
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
}

// Presses Tab until the control has the focus; false if it never comes.
bool tabTo(QWidget& control) {
    for (int presses = 0; presses < 10 && !control.hasFocus(); ++presses) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return control.hasFocus();
}

// Each control, reached by Tab, looks different from when the next one has the focus.
void expectFocusShown(const QList<QWidget*>& controls) {
    for (qsizetype index = 0; index < controls.size(); ++index) {
        QWidget& control = *controls[index];
        const QString name =
            control.property("text").toString() + control.property("placeholderText").toString();
        QVERIFY2(tabTo(*controls[(index + 1) % controls.size()]), qPrintable(name));
        const QImage unfocused = control.grab().toImage();
        QVERIFY2(tabTo(control), qPrintable("Tab never reaches " + name));
        QVERIFY2(control.grab().toImage() != unfocused, qPrintable("no sign of focus on " + name));
    }
}

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

    void closeRequestWaitsForTheInstallationThenQuitsWhateverThePromptShows() {
        Launched app;
        app.engine.held = true;
        click(app.window, "Install");
        QTRY_COMPARE(app.engine.log(), (QStringList{"status installing", "run"}));
        QVERIFY(!requestClose(app.window));
        QVERIFY(app.window.isVisible());

        app.engine.release();
        QTRY_VERIFY(app.sheet());
        QTRY_VERIFY(!app.installation.isRunning());
        // From inside the event loop, where the last window's closing quits the application.
        QTimer::singleShot(0, [&app] { QVERIFY(requestClose(app.window)); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!app.window.isVisible());
    }

    void pastedPassphrasesAreKeptWholeAndRefusedVisiblyPastTheCap() {
        Launched app;
        click(app.window, ownOption);
        // Longer than a line edit takes by default.
        const QString huge(40000, QChar('x'));
        pasteInto(app.window, "Passphrase", huge);
        pasteInto(app.window, "Confirm Passphrase", huge);
        QCOMPARE(require<QLineEdit>(app.window, "Passphrase").text(), huge);
        QCOMPARE(require<QLineEdit>(app.window, "Confirm Passphrase").text(), huge);
        QVERIFY(!app.installEnabled());
        QVERIFY(visible<QLabel>(app.window, lengthNote));
        // The managed option does not use the fields, so it has nothing to say about them.
        click(app.window, managedOption);
        QVERIFY(!visible<QLabel>(app.window, lengthNote));
        QVERIFY(app.installEnabled());
        click(app.window, ownOption);

        // Characters as a user counts them: neither UTF-16 units nor bytes.
        QString atCap;
        for (std::size_t count = 0; count < 1024; ++count) {
            atCap += QStringLiteral("\U0001F511");
        }
        pasteInto(app.window, "Passphrase", atCap);
        pasteInto(app.window, "Confirm Passphrase", atCap);
        QVERIFY(app.installEnabled());
        QVERIFY(!visible<QLabel>(app.window, lengthNote));
        // One over in either field shows the note.
        pasteInto(app.window, "Confirm Passphrase", atCap + "x");
        QVERIFY(!app.installEnabled());
        QVERIFY(visible<QLabel>(app.window, lengthNote));
        pasteInto(app.window, "Confirm Passphrase", atCap);
        click(app.window, "Install");
        QTRY_COMPARE(app.state.status(), InstallStatus::installed);
        QCOMPARE(app.engine.log().at(1), "run with key " + atCap);
    }

    void everyControlShowsKeyboardFocus() {
        Launched app;
        QVERIFY(QTest::qWaitForWindowActive(&app.window));
        // Tab reaches the checked option of the two, so each is checked in turn.
        QAbstractButton& install = require<QAbstractButton>(app.window, "Install");
        expectFocusShown({&require<QAbstractButton>(app.window, managedOption), &install});
        QVERIFY(!QTest::currentTestFailed());
        app.chooseOwn("same text", "same text");
        expectFocusShown({&require<QAbstractButton>(app.window, ownOption),
                          &require<QLineEdit>(app.window, "Passphrase"),
                          &require<QLineEdit>(app.window, "Confirm Passphrase"), &install});
        QVERIFY(!QTest::currentTestFailed());

        click(app.window, "Install");
        QTRY_VERIFY(app.sheet());
        QVERIFY(QTest::qWaitForWindowActive(app.sheet()));
        expectFocusShown({&require<QAbstractButton>(*app.sheet(), "Open System Settings"),
                          &require<QAbstractButton>(*app.sheet(), "Dismiss")});
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
