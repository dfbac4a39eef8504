// The passphrase screen as a user drives it: the choice, the two fields, the Install button and
// Return, and the settings the engine receives.
#include "FakeInstallEngine.h"
#include "UserView.h"
#include "app/InstallState.h"
#include "app/Installation.h"
#include "app/InstallerView.h"
#include "app/PassphraseRule.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

using talvo::Installation;
using talvo::InstallerView;
using talvo::InstallState;
using talvo::InstallStatus;
using talvo::testing::FakeInstallEngine;
using talvo::testing::visibleButton;
using talvo::testing::visibleField;

namespace {

const QString managedOption = QStringLiteral("I want to use a Talvo-managed encryption passphrase");
const QString ownOption = QStringLiteral("I want to provide my own encryption passphrase");
const QString precomposedE = QStringLiteral("\u00e9");
const QString decomposedE = QStringLiteral("e\u0301");

// One passphrase screen in its own window, over a fake engine.
struct Screen {
    explicit Screen(FakeInstallEngine::Behaviour behaviour = FakeInstallEngine::Behaviour::succeed)
        : engine(behaviour), installation(state, engine), view(installation) {
        view.show();
        view.activateWindow();
    }

    QAbstractButton& button(const QString& text) {
        QAbstractButton* found = visibleButton(view, text);
        if (!found) {
            qFatal("no visible button \"%s\"", qPrintable(text));
        }
        return *found;
    }

    // Null while the fields are hidden.
    QLineEdit* field(const QString& placeholder) { return visibleField(view, placeholder); }

    void chooseOwnPassphrase() { talvo::testing::click(&button(ownOption)); }

    void type(const QString& passphrase, const QString& confirmation) {
        talvo::testing::typeInto(field("Passphrase"), passphrase);
        talvo::testing::typeInto(field("Confirm Passphrase"), confirmation);
    }

    bool installEnabled() { return button("Install").isEnabled(); }

    void pressReturn() {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &view;
        QTest::keyClick(target, Qt::Key_Return);
    }

    FakeInstallEngine engine;
    InstallState state;
    Installation installation;
    InstallerView view;
};

} // namespace

class PassphraseScreenTest : public QObject {
    Q_OBJECT

  private slots:
    void rule_data() {
        QTest::addColumn<bool>("own");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<bool>("acceptable");

        QTest::newRow("managed, fields empty") << false << ""
                                               << "" << true;
        QTest::newRow("managed, leftover text differs") << false << "abc"
                                                        << "xyz" << true;
        QTest::newRow("own, both empty") << true << ""
                                         << "" << false;
        QTest::newRow("own, only confirmation") << true << ""
                                                << "abc" << false;
        QTest::newRow("own, different") << true << "abc"
                                        << "abd" << false;
        QTest::newRow("own, equal and short") << true << "a"
                                              << "a" << true;
        QTest::newRow("own, composed vs decomposed")
            << true << "caf" + precomposedE << "caf" + decomposedE << true;
        QTest::newRow("own, accent vs none") << true << "caf" + precomposedE << "cafe" << false;
        QTest::newRow("own, blanks only") << true << "   "
                                          << "   " << true;
        QTest::newRow("own, trailing blank counts") << true << "secret "
                                                    << "secret" << false;
        QTest::newRow("own, case counts") << true << "Secret"
                                          << "secret" << false;
    }

    void rule() {
        QFETCH(bool, own);
        QFETCH(QString, passphrase);
        QFETCH(QString, confirmation);
        QFETCH(bool, acceptable);

        QCOMPARE(talvo::isPassphraseChoiceAcceptable(own, passphrase.toStdString(),
                                                     confirmation.toStdString()),
                 acceptable);

        // The same case typed into the screen: the button follows the rule.
        Screen screen;
        if (own) {
            screen.chooseOwnPassphrase();
        } else {
            // Leftover text typed under the own option, then switched back.
            screen.chooseOwnPassphrase();
            screen.type(passphrase, confirmation);
            talvo::testing::click(&screen.button(managedOption));
        }
        if (own) {
            screen.type(passphrase, confirmation);
        }
        QCOMPARE(screen.installEnabled(), acceptable);
    }

    void fieldsShowOnlyWithOwnOptionAndKeepTheirText() {
        Screen screen;
        QVERIFY(!screen.field("Passphrase"));
        QVERIFY(!screen.field("Confirm Passphrase"));
        QVERIFY(screen.installEnabled());

        screen.chooseOwnPassphrase();
        QVERIFY(screen.field("Passphrase"));
        QVERIFY(!screen.installEnabled());
        screen.type("hunter22", "hunter22");
        QVERIFY(screen.installEnabled());

        // Hiding the fields moves nothing below them.
        const QPoint installAt = screen.button("Install").mapTo(&screen.view, QPoint());
        talvo::testing::click(&screen.button(managedOption));
        QVERIFY(!screen.field("Passphrase"));
        QCOMPARE(screen.button("Install").mapTo(&screen.view, QPoint()), installAt);

        screen.chooseOwnPassphrase();
        QCOMPARE(screen.field("Passphrase")->text(), QStringLiteral("hunter22"));
        QCOMPARE(screen.field("Confirm Passphrase")->text(), QStringLiteral("hunter22"));
        // The fields mask what is typed.
        QCOMPARE(screen.field("Passphrase")->echoMode(), QLineEdit::Password);
    }

    void returnOnDisabledButtonDoesNothing() {
        Screen screen;
        screen.chooseOwnPassphrase();
        screen.field("Passphrase")->setFocus();
        screen.pressReturn();
        screen.type("one", "two");
        screen.pressReturn();
        talvo::testing::click(&screen.button("Install"));
        QTest::qWait(20);

        QCOMPARE(screen.state.status(), InstallStatus::idle);
        QVERIFY(screen.engine.calls().empty());
    }

    void returnInstallsWithTheKeyExactlyAsTyped() {
        Screen screen;
        screen.chooseOwnPassphrase();
        // Composed in the first field, decomposed in the second: the first one is sent.
        const QString typed = "  caf" + precomposedE + " au lait  ";
        screen.type(typed, "  caf" + decomposedE + " au lait  ");
        screen.pressReturn();

        QCOMPARE(screen.state.status(), InstallStatus::installing);
        QTRY_COMPARE(screen.state.status(), InstallStatus::installed);
        const auto config = screen.engine.lastConfig();
        QVERIFY(config);
        QCOMPARE(config->encryptionKey, std::optional<std::string>(typed.toStdString()));
        QVERIFY(!config->registrationToken && !config->registrationService);
        QVERIFY(!config->seedPath && !config->cleanUp);
    }

    void managedOptionSendsNoKeyEvenWithTextLeftInTheFields() {
        Screen screen;
        screen.chooseOwnPassphrase();
        screen.type("leftover", "leftover");
        talvo::testing::click(&screen.button(managedOption));
        talvo::testing::click(&screen.button("Install"));

        QTRY_COMPARE(screen.state.status(), InstallStatus::installed);
        QVERIFY(screen.engine.lastConfig() == talvo::Config{});
    }

    void shortKeyIsAcceptedHereAndFailsInTheEngine() {
        Screen screen(FakeInstallEngine::Behaviour::fail);
        screen.chooseOwnPassphrase();
        screen.type("1234567", "1234567");
        QVERIFY(screen.installEnabled());
        talvo::testing::click(&screen.button("Install"));
        QTRY_COMPARE(screen.state.status(), InstallStatus::failed);
    }
};

QTEST_MAIN(PassphraseScreenTest)
#include "PassphraseScreenTest.moc"
