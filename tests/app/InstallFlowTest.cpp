// The passphrase screen as a user drives it (the choice, the two fields, the Install button and
// Return) and the installation it starts: the settings the engine receives, and the writes to
// the install state, in order and on the UI thread.
#include "AppTesting.h"
#include "app/InstallState.h"
#include "app/Installation.h"
#include "app/InstallerView.h"

#include <QThread>
#include <QTimer>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString managedOption = QStringLiteral("I want to use a Talvo-managed encryption passphrase");
const QString ownOption = QStringLiteral("I want to provide my own encryption passphrase");
const QString precomposedE = QStringLiteral("\u00e9");
const QString decomposedE = QStringLiteral("e\u0301");
const QStringList succeeded{"status installing", "status installed", "sheet true"};

// One passphrase screen in its own window over a fake engine, with every write to the state as
// the UI thread saw it.
struct Screen {
    explicit Screen(FakeInstallEngine::Behaviour behaviour = FakeInstallEngine::Behaviour::succeed)
        : installation(state, engine), view(installation) {
        engine.behaviour = behaviour;
        QObject::connect(&state, &InstallState::statusChanged, [this](InstallStatus status) {
            record("status " + QVariant::fromValue(status).toString());
        });
        QObject::connect(&state, &InstallState::showFDAViewChanged,
                         [this](bool show) { record(show ? "sheet true" : "sheet false"); });
        view.show();
        view.activateWindow();
    }
    // A test that stops early leaves no worker waiting for ever.
    ~Screen() { engine.release(); }

    void record(const QString& write) {
        writes << write;
        allOnUIThread = allOnUIThread && QThread::currentThread() == qApp->thread();
    }

    void chooseOwn(const QString& passphrase, const QString& confirmation) {
        click(view, ownOption);
        typeInto(view, "Passphrase", passphrase);
        typeInto(view, "Confirm Passphrase", confirmation);
    }

    bool installEnabled() const { return require<QAbstractButton>(view, "Install").isEnabled(); }

    // Where a user presses it: in the field last typed into.
    void pressReturn() {
        QTest::keyClick(&require<QLineEdit>(view, "Confirm Passphrase"), Qt::Key_Return);
    }

    FakeInstallEngine engine;
    InstallState state;
    Installation installation;
    InstallerView view;
    QStringList writes;
    bool allOnUIThread = true;
};

} // namespace

class InstallFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void installFollowsTheRuleForOwnPassphrase() {
        struct Case {
            QString passphrase, confirmation;
            bool enabled;
        };
        const Case cases[] = {
            {"", "", false},
            {"a", "a", true}, // the minimum length is the engine's to enforce
            {"caf" + precomposedE, "caf" + decomposedE, true},
            {"caf" + precomposedE, "cafe", false},
            {"   ", "   ", true},
            {"secret ", "secret", false},
            {"Secret", "secret", false},
        };
        for (const Case& each : cases) {
            Screen screen;
            screen.chooseOwn(each.passphrase, each.confirmation);
            QVERIFY2(screen.installEnabled() == each.enabled,
                     qPrintable(each.passphrase + " / " + each.confirmation));
        }
    }

    void fieldsShowOnlyWithOwnOptionAndKeepTheirText() {
        Screen screen;
        QVERIFY(!visible<QLineEdit>(screen.view, "Passphrase"));
        QVERIFY(!visible<QLineEdit>(screen.view, "Confirm Passphrase"));

        screen.chooseOwn("hunter22", "hunter22");
        QCOMPARE(require<QLineEdit>(screen.view, "Passphrase").echoMode(), QLineEdit::Password);
        click(screen.view, managedOption);
        QVERIFY(!visible<QLineEdit>(screen.view, "Passphrase"));

        click(screen.view, ownOption);
        QCOMPARE(require<QLineEdit>(screen.view, "Passphrase").text(), QStringLiteral("hunter22"));
        QCOMPARE(require<QLineEdit>(screen.view, "Confirm Passphrase").text(),
                 QStringLiteral("hunter22"));
    }

    void managedInstallWritesInstallingThenInstalledThenPrompt() {
        Screen screen;
        QCOMPARE(screen.state.status(), InstallStatus::idle);
        QCOMPARE(screen.state.showFDAView(), false);
        // A write of the value already held notifies too.
        screen.state.setStatus(InstallStatus::idle);
        QCOMPARE(screen.writes, QStringList{"status idle"});
        screen.writes.clear();

        // Text left in the fields is not the managed option's business.
        screen.chooseOwn("leftover", "different");
        click(screen.view, managedOption);
        QVERIFY(screen.installEnabled());
        click(screen.view, "Install");
        // Published before the engine has had a chance to run.
        QCOMPARE(screen.writes, QStringList{"status installing"});
        QTRY_COMPARE(screen.writes, succeeded);
        QVERIFY(screen.allOnUIThread);
        QVERIFY(screen.engine.lastConfig() == Config{});

        // Installed is final: no second installation in the same run.
        QTRY_VERIFY(!screen.installation.isRunning());
        click(screen.view, "Install");
        QCOMPARE(screen.writes, succeeded);
        QCOMPARE(screen.engine.calls(),
                 (std::vector<std::string>{"run", "bootstrap", "runStatusApp"}));
    }

    void failureWritesFailedAndNothingElse() {
        Screen screen(FakeInstallEngine::Behaviour::fail);
        click(screen.view, "Install");
        QTRY_COMPARE(screen.state.status(), InstallStatus::failed);
        QTest::qWait(50); // for any stray later write to arrive

        QCOMPARE(screen.writes, (QStringList{"status installing", "status failed"}));
        QVERIFY(screen.allOnUIThread);
        // Neither the daemons nor the status application after a failed run.
        QCOMPARE(screen.engine.calls(), std::vector<std::string>{"run"});
    }

    void returnInstallsOnlyMatchingFieldsAndSendsTheKeyAsTyped() {
        Screen screen(FakeInstallEngine::Behaviour::block);
        // Composed in the first field, decomposed in the second, one blank short.
        const QString typed = "  caf" + precomposedE + " au lait  ";
        screen.chooseOwn(typed, "  caf" + decomposedE + " au lait ");
        screen.pressReturn();
        click(screen.view, "Install");
        QCOMPARE(screen.state.status(), InstallStatus::idle);

        typeInto(screen.view, "Confirm Passphrase", " ");
        screen.pressReturn();
        QCOMPARE(screen.state.status(), InstallStatus::installing);
        QTRY_COMPARE(screen.engine.calls(), std::vector<std::string>{"run"});

        // While the engine is busy the window keeps drawing, and a second click starts nothing.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);
        click(screen.view, "Install");
        QTest::qWait(200);
        QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
        QCOMPARE(screen.engine.calls(), std::vector<std::string>{"run"});

        screen.engine.release();
        QTRY_COMPARE(screen.writes, succeeded);
        // The first field's text, unchanged: no trimming, no normalisation.
        Config expected;
        expected.encryptionKey = typed.toStdString();
        QVERIFY(screen.engine.lastConfig() == expected);
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
