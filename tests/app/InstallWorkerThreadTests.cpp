// The installation off the UI thread under the product's backend and the real engine: what the
// window is told when the engine fails part way.
#include "AppFixture.h"
#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "platform/ChildProcess.h"
#include "platform/Files.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <sstream>

using namespace talvo;
using namespace talvo::test;

namespace {

// A normal user's computer: every privileged command runs and succeeds but the keychain's add,
// which ends with status 50. What the engine does lands in the transcript.
struct KeychainComputer final : CommandRunner,
                                ProcessLauncher,
                                FileChecks,
                                Workspace,
                                RunningApplications,
                                UserIdentity {
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
        return {PrivilegedOutcome::Kind::ran, add ? 50 : 0};
    }
    std::optional<std::string> standardOutputOf(const std::string&,
                                                const std::vector<std::string>&) override {
        return std::string();
    }
    bool fileExists(const std::string&) const override { return false; }
    void openBundle(const std::string&) override {}
    void openURL(const std::string&) override { transcript << "open\n"; }
    std::set<std::string> runningAmong(const std::vector<std::string>&) const override {
        return {};
    }
    unsigned effectiveUserId() const override { return 501; }
};

} // namespace

class InstallWorkerThreadTests : public QObject {
    Q_OBJECT

  private slots:
    // The keychain refuses the customer's key: the installation ends on the failure screen,
    // without the daemons or the status application.
    void aKeyThatCouldNotBeStoredEndsOnTheFailureScreen() {
        KeychainComputer computer;
        SystemInstallerBackend backend(computer.installer);
        InstallState state;
        InstallWorkerThread worker(state, backend, nullptr);
        QVERIFY(worker.install(
            Config{std::nullopt, std::nullopt, "long enough", std::nullopt, std::nullopt}));
        QTRY_COMPARE(state.status(), InstallStatus::failed);
        QCOMPARE(computer.transcript.str(), "Installing User...\nprivileged\nadd\n"
                                            "Error Domain=ProcessErrorDomain Code=50 \"(null)\"\n");
    }
};

QTEST_MAIN(InstallWorkerThreadTests)
#include "InstallWorkerThreadTests.moc"
