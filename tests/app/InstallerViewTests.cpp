// The passphrase screen: what pasted passphrases it refuses (past the length cap, holding U+0000),
// the key the engine receives, and keyboard focus on the controls.
#include "AppFixture.h"

#include <QClipboard>

using namespace talvo;
using namespace talvo::test;

namespace {

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
void expectFocusShown(const QWidget& root, const QStringList& texts) {
    for (qsizetype index = 0; index < texts.size(); ++index) {
        QWidget& control = require<QAbstractButton>(root, texts[index]);
        QVERIFY(tabTo(require<QAbstractButton>(root, texts[(index + 1) % texts.size()])));
        const QImage unfocused = control.grab().toImage();
        QVERIFY2(tabTo(control), qPrintable("Tab never reaches " + texts[index]));
        QVERIFY2(control.grab().toImage() != unfocused, qPrintable("no focus on " + texts[index]));
    }
}

} // namespace

class InstallerViewTests : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    // Pasted passphrases are kept whole, even longer than a line edit takes by default. Past the
    // cap (characters as a user counts them: neither UTF-16 units nor bytes) or holding U+0000
    // (the keychain would store it cut there, and a user cannot see it) they are refused with a
    // note; with the managed option they are hidden and never passed on. Each case starts from a
    // refused passphrase, so that a note must also go away.
    void pastedPassphrasesAreKeptWholeAndRefusedVisibly() {
        const QString huge(40000, QChar('x'));
        const QString atCap = QString(QStringLiteral("\U0001F511")).repeated(1024);
        const QString nul = QStringLiteral("correct horse") + QChar(0) + "battery";
        const QString plain = "correct horse battery";
        const QString tooLong = "A passphrase can be at most 1024 characters long.";
        const QString holdsNul = "A passphrase cannot contain a null character (U+0000).";
        struct Case {
            QString option, first, second, note, run; // run: the engine's call, empty if refused
        };
        for (const auto& [option, first, second, note, run] : {
                 Case{kOwnOption, huge, huge, tooLong, {}},
                 Case{kOwnOption, atCap, atCap + "x", tooLong, {}},
                 Case{kOwnOption, atCap, atCap, {}, "run with key " + atCap},
                 Case{kOwnOption, nul, nul, holdsNul, {}},
                 Case{kOwnOption, plain, nul, holdsNul, {}},
                 Case{kManagedOption, nul, nul, {}, "run"},
             }) {
            Launched app;
            click(app.window, kOwnOption);
            pasteInto(app.window, "Passphrase", first == huge ? nul : huge);
            pasteInto(app.window, "Passphrase", first);
            pasteInto(app.window, "Confirm Passphrase", second);
            QCOMPARE(require<QLineEdit>(app.window, "Passphrase").text(), first);
            click(app.window, option);
            QCOMPARE(app.installEnabled(), !run.isEmpty());
            for (const QString& shown : {tooLong, holdsNul}) {
                QCOMPARE(visibleTexts(app.window).contains(shown), shown == note);
            }
            QTest::keyClick(&require<QAbstractButton>(app.window, option), Qt::Key_Return);
            if (run.isEmpty()) {
                QCOMPARE(app.engine.log(), QStringList());
            } else {
                QTRY_COMPARE(app.state.status(), InstallStatus::installed);
                QCOMPARE(app.engine.log().at(1), run);
            }
        }
    }

    void installAndThePromptsButtonsShowKeyboardFocus() {
        Launched app;
        QVERIFY(QTest::qWaitForWindowActive(&app.window));
        expectFocusShown(app.window, {kManagedOption, "Install"});
        QVERIFY(!QTest::currentTestFailed());
        click(app.window, "Install");
        QTRY_VERIFY(app.sheet());
        QVERIFY(QTest::qWaitForWindowActive(app.sheet()));
        expectFocusShown(*app.sheet(), {"Open System Settings", "Dismiss"});
    }
};

QTEST_MAIN(InstallerViewTests)
#include "InstallerViewTests.moc"
