// The passphrase screen: the rule the Install button and Return apply, the key the engine
// receives, the length cap on pasted passphrases, and keyboard focus on every control.
#include "AppFixture.h"

#include <QClipboard>
#include <tuple>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString precomposedE = QStringLiteral("\u00e9");
const QString decomposedE = QStringLiteral("e\u0301");
const QString lengthNote = QStringLiteral("A passphrase can be at most 1024 characters long.");

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

class InstallerViewTests : public QObject {
    Q_OBJECT

  private slots:
    void init() { useFreshSettings(); }

    void installFollowsTheRuleForOwnPassphrase() {
        const QList<std::tuple<QString, QString, bool>> cases{
            {"", "", false},
            {"a", "a", true}, // the minimum length is the engine's to enforce
            {"caf" + precomposedE, "cafe", false},
            {"   ", "   ", true},
            {"Secret", "secret", false},
        };
        for (const auto& [passphrase, confirmation, enabled] : cases) {
            Launched app;
            app.chooseOwn(passphrase, confirmation);
            QVERIFY2(app.installEnabled() == enabled,
                     qPrintable(passphrase + " / " + confirmation));
        }
    }

    void returnInstallsOnlyMatchingFieldsAndSendsTheKeyAsTyped() {
        // Held: were the engine run on the UI thread, or waited for there, this would hang.
        Launched app;
        app.engine.held = true;
        // Decomposed in the first field, composed in the second, one blank short.
        const QString typed = "  caf" + decomposedE + " au lait  ";
        app.chooseOwn(typed, "  caf" + precomposedE + " au lait ");
        QTest::keyClick(&require<QLineEdit>(app.window, "Confirm Passphrase"), Qt::Key_Return);
        QCOMPARE(app.state.status(), InstallStatus::idle);

        typeInto(app.window, "Confirm Passphrase", " ");
        QTest::keyClick(&require<QLineEdit>(app.window, "Confirm Passphrase"), Qt::Key_Return);
        // The first field's text, unchanged: no trimming, no normalisation.
        const QString run = "run with key " + typed;
        QTRY_COMPARE(app.engine.log(), (QStringList{"status installing", run}));
        QVERIFY(!app.worker.install(Config{}));

        app.engine.release();
        QTRY_COMPARE(app.engine.log(),
                     (QStringList{"status installing", run, "bootstrap", "runStatusApp",
                                  "status installed", "sheet true"}));
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
};

QTEST_MAIN(InstallerViewTests)
#include "InstallerViewTests.moc"
