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

    void pastedPassphrasesAreKeptWholeAndRefusedVisiblyPastTheCap() {
        Launched app;
        click(app.window, kOwnOption);
        const auto expect = [&app](const QString& first, const QString& second, bool accepted) {
            pasteInto(app.window, "Passphrase", first);
            pasteInto(app.window, "Confirm Passphrase", second);
            QCOMPARE(require<QLineEdit>(app.window, "Passphrase").text(), first);
            QCOMPARE(app.installEnabled(), accepted);
            const QString note = "A passphrase can be at most 1024 characters long.";
            QCOMPARE(visibleTexts(app.window).contains(note), !accepted);
        };
        // Longer than a line edit takes by default: kept whole, and refused with a note.
        const QString huge(40000, QChar('x'));
        expect(huge, huge, false);
        // Characters as a user counts them: neither UTF-16 units nor bytes.
        const QString atCap = QString(QStringLiteral("\U0001F511")).repeated(1024);
        expect(atCap, atCap + "x", false);
        expect(atCap, atCap, true);
        click(app.window, "Install");
        QTRY_COMPARE(app.state.status(), InstallStatus::installed);
        QCOMPARE(app.engine.log().at(1), "run with key " + atCap);
    }

    // The keychain would store such a passphrase cut at the U+0000, and a user cannot see it.
    void pastedPassphrasesHoldingNulAreRefusedVisibly() {
        const QString nul = QStringLiteral("correct horse") + QChar(0) + "battery";
        const QString plain = "correct horse battery";
        const QString note = "A passphrase cannot contain a null character (U+0000).";
        struct Case {
            QString option, first, second;
            bool accepted;
        };
        for (const auto& [option, first, second, accepted] : {
                 Case{kOwnOption, nul, nul, false},
                 Case{kOwnOption, plain, nul, false},
                 Case{kOwnOption, nul, plain, false},
                 // Hidden with the managed option and never passed on.
                 Case{kManagedOption, nul, nul, true},
             }) {
            Launched app;
            click(app.window, kOwnOption);
            pasteInto(app.window, "Passphrase", first);
            pasteInto(app.window, "Confirm Passphrase", second);
            QCOMPARE(require<QLineEdit>(app.window, "Passphrase").text(), first);
            click(app.window, option);
            QCOMPARE(app.installEnabled(), accepted);
            QCOMPARE(visibleTexts(app.window).contains(note), !accepted);
            QTest::keyClick(&require<QAbstractButton>(app.window, option), Qt::Key_Return);
            if (accepted) {
                QTRY_COMPARE(app.state.status(), InstallStatus::installed);
                QCOMPARE(app.engine.log().at(1), "run");
            } else {
                QCOMPARE(app.engine.log(), QStringList());
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
