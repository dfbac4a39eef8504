// The installation off the UI thread under the product's backend and the real engine: what the
// window is told when the engine fails part way.
#include "AppFixture.h"
#include "tests/engine/FakeComputer.h"

using namespace talvo;
using namespace talvo::test;

class InstallWorkerThreadTests : public QObject {
    Q_OBJECT

  private slots:
    // The keychain refuses the customer's key: the installation ends on the failure screen,
    // without the daemons or the status application.
    void aKeyThatCouldNotBeStoredEndsOnTheFailureScreen() {
        FakeComputer computer;
        computer.userId = 501;
        computer.failures = {{"find-generic-password", 44}};
        computer.privileged = {{"add-generic-password", {PrivilegedOutcome::Kind::ran, 50}}};
        SystemInstallerBackend backend(computer.installer);
        InstallState state;
        InstallWorkerThread worker(state, backend, nullptr);
        QVERIFY(worker.install(
            Config{std::nullopt, std::nullopt, "long enough", std::nullopt, std::nullopt}));
        QTRY_COMPARE(state.status(), InstallStatus::failed);
        QTRY_VERIFY(!worker.isRunning());
        QCOMPARE(computer.lines().back(), errorLine(50));
    }
};

QTEST_MAIN(InstallWorkerThreadTests)
#include "InstallWorkerThreadTests.moc"
