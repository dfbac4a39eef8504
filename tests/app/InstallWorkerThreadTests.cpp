// The installation off the UI thread: what the product's backend makes of the engine's outcome,
// and what the worker publishes for each way the engine can end.
#include "AppFixture.h"
#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "platform/ChildProcess.h"
#include "platform/Desktop.h"
#include "platform/UserIdentity.h"

#include <sstream>
#include <stdexcept>

using namespace talvo;
using namespace talvo::testing;

namespace {

// A normal user's computer under the real engine: every privileged command runs and succeeds but
// the keychain's add, which ends with addStatus. What the engine does lands in the transcript.
struct KeychainComputer final : CommandRunner,
                                ProcessLauncher,
                                FileChecks,
                                Workspace,
                                RunningApplications,
                                UserIdentity {
    int addStatus = 0;
    std::ostringstream transcript;
    Installer installer{InstallerEnvironment{*this, *this, *this, *this, *this, *this, transcript}};

    std::string syncThrows(const std::string& command) override {
        if (command.find("find-generic-password") != std::string::npos) {
            throw commandError(44);
        }
        return {};
    }
    PrivilegedOutcome sudo(const std::string& command) override {
        const bool add = command.find("add-generic-password") != std::string::npos;
        transcript << (add ? "add\n" : "privileged\n");
        return {PrivilegedOutcome::Kind::Ran, add ? addStatus : 0};
    }
    std::optional<std::string> standardOutputOf(const std::string&,
                                                const std::vector<std::string>&) override {
        return std::string();
    }
    bool fileExists(const std::string&) const override { return false; }
    void openBundle(const std::string&) override {}
    void openURL(const std::string&) override { transcript << "open\n"; }
    bool isRunning(const std::string&) const override { return false; }
    unsigned effectiveUserId() const override { return 501; }
};

// Installs once over the backend and waits for the outcome to be published.
InstallStatus installOnce(InstallerBackend& backend, const Config& config) {
    InstallState state;
    InstallWorkerThread worker(state, backend, nullptr);
    if (!worker.install(config)) {
        return InstallStatus::idle;
    }
    // Still installing when the outcome never arrives.
    const bool published =
        QTest::qWaitFor([&state] { return state.status() != InstallStatus::installing; });
    return published ? state.status() : InstallStatus::installing;
}

} // namespace

class InstallWorkerThreadTests : public QObject {
    Q_OBJECT

  private slots:
    // The product's backend over a computer whose keychain refuses the key: the installation
    // ends on the failure screen, without the daemons or the status application.
    void aKeyThatCouldNotBeStoredEndsOnTheFailureScreen() {
        for (const int addStatus : {0, 50}) {
            KeychainComputer computer;
            computer.addStatus = addStatus;
            SystemInstallerBackend backend(computer.installer);
            const InstallStatus status =
                installOnce(backend, Config{std::nullopt, std::nullopt, "long enough", std::nullopt,
                                            std::nullopt});
            if (addStatus == 0) {
                QCOMPARE(status, InstallStatus::installed);
                QCOMPARE(computer.transcript.str(),
                         "Installing User...\nprivileged\nadd\nprivileged\nprivileged\nopen\n");
            } else {
                QCOMPARE(status, InstallStatus::failed);
                QCOMPARE(computer.transcript.str(),
                         "Installing User...\nprivileged\nadd\n"
                         "Error Domain=ProcessErrorDomain Code=50 \"(null)\"\n");
            }
        }
    }

    // Whatever escapes the engine ends the installation as failed, on the UI thread, rather than
    // ending the process on the worker's.
    void anyFailureOfTheEngineIsPublishedAsFailed() {
        FakeInstallerBackend engine;
        engine.onRun = [](const Config&) { throw std::runtime_error("could not spawn"); };
        QCOMPARE(installOnce(engine, Config{}), InstallStatus::failed);
        engine.onRun = [](const Config&) { throw commandError(7); };
        QCOMPARE(installOnce(engine, Config{}), InstallStatus::failed);
        QCOMPARE(engine.log(), (QStringList{"run", "run"}));
    }
};

QTEST_MAIN(InstallWorkerThreadTests)
#include "InstallWorkerThreadTests.moc"
