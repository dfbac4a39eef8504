// The install state and the installation's writes to it, in order, for an engine that succeeds,
// fails, or keeps the worker busy.
#include "FakeInstallEngine.h"
#include "app/InstallState.h"
#include "app/Installation.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

using talvo::Config;
using talvo::Installation;
using talvo::InstallState;
using talvo::InstallStatus;
using talvo::testing::FakeInstallEngine;
using namespace std::chrono_literals;

namespace {

// Every write to the state as the UI thread saw it, e.g. "status installing", "sheet true".
class WriteLog : public QObject {
  public:
    explicit WriteLog(InstallState& state) {
        connect(&state, &InstallState::statusChanged, this, [this](InstallStatus status) {
            record(QStringLiteral("status ") + QVariant::fromValue(status).toString());
        });
        connect(&state, &InstallState::showFDAViewChanged, this, [this](bool show) {
            record(QStringLiteral("sheet ") + (show ? "true" : "false"));
        });
    }

    QStringList writes;
    bool allOnUIThread = true;

  private:
    void record(const QString& write) {
        writes << write;
        allOnUIThread = allOnUIThread && QThread::currentThread() == qApp->thread();
    }
};

} // namespace

class InstallFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void newStateIsIdleWithoutPromptAndEveryWriteNotifies() {
        InstallState state;
        QCOMPARE(state.status(), InstallStatus::idle);
        QCOMPARE(state.showFDAView(), false);

        QSignalSpy statusSpy(&state, &InstallState::statusChanged);
        QSignalSpy sheetSpy(&state, &InstallState::showFDAViewChanged);
        state.setStatus(InstallStatus::idle);
        state.setStatus(InstallStatus::idle);
        state.setShowFDAView(false);
        QCOMPARE(statusSpy.count(), 2);
        QCOMPARE(sheetSpy.count(), 1);
        // The properties are observable by name too, as the window's bindings use them.
        QCOMPARE(state.property("status").value<InstallStatus>(), InstallStatus::idle);
        state.setProperty("showFDAView", true);
        QCOMPARE(state.showFDAView(), true);
        QCOMPARE(sheetSpy.count(), 2);
    }

    void successfulInstallWritesInstallingThenInstalledThenPrompt() {
        InstallState state;
        WriteLog log(state);
        FakeInstallEngine engine(FakeInstallEngine::Behaviour::succeed);
        Installation installation(state, engine);

        Config choice;
        choice.encryptionKey = "correct horse";
        QVERIFY(installation.start(choice));
        // Published before the engine has had a chance to run.
        QCOMPARE(log.writes, QStringList{"status installing"});

        QTRY_COMPARE(state.showFDAView(), true);
        QCOMPARE(log.writes, (QStringList{"status installing", "status installed", "sheet true"}));
        QVERIFY(log.allOnUIThread);
        QCOMPARE(engine.calls(), (std::vector<std::string>{"run", "bootstrap", "runStatusApp"}));
        QVERIFY(engine.lastConfig() == choice);
        QTRY_VERIFY(!installation.isRunning());
    }

    void failedInstallWritesFailedAndNothingElse() {
        InstallState state;
        WriteLog log(state);
        FakeInstallEngine engine(FakeInstallEngine::Behaviour::fail);
        Installation installation(state, engine);

        QVERIFY(installation.start(Config{}));
        QTRY_COMPARE(state.status(), InstallStatus::failed);
        QTRY_VERIFY(!installation.isRunning());
        QTest::qWait(50);

        QCOMPARE(log.writes, (QStringList{"status installing", "status failed"}));
        QVERIFY(log.allOnUIThread);
        QCOMPARE(state.showFDAView(), false);
        // Neither the daemons nor the status application after a failed run.
        QCOMPARE(engine.calls(), std::vector<std::string>{"run"});
    }

    void blockedEngineKeepsEventLoopRunningAndRefusesASecondStart() {
        InstallState state;
        WriteLog log(state);
        FakeInstallEngine engine(FakeInstallEngine::Behaviour::block);
        Installation installation(state, engine);

        QVERIFY(installation.start(Config{}));
        QVERIFY(engine.waitUntilRunning(5s));
        QVERIFY(installation.isRunning());

        // While the engine is busy, timers fire on time and a second start is refused.
        QElapsedTimer clock;
        clock.start();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);
        QTest::qWait(200);
        QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(!installation.start(Config{}));
        QCOMPARE(state.status(), InstallStatus::installing);

        engine.release();
        QTRY_COMPARE(state.showFDAView(), true);
        QCOMPARE(log.writes, (QStringList{"status installing", "status installed", "sheet true"}));
        QCOMPARE(engine.calls(), (std::vector<std::string>{"run", "bootstrap", "runStatusApp"}));
        // The run is over and final: no second installation in the same run.
        QVERIFY(!installation.start(Config{}));
        QCOMPARE(engine.calls().size(), std::size_t{3});
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
