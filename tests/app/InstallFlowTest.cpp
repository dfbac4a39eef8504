// The passphrase rule as the Install button and Return apply it, and the installation they
// start: the key the engine receives, and the writes to the install state, in order and on the
// UI thread.
#include "AppTesting.h"
#include "app/SharedInstallerEngine.h"
#include "engine/Installer.h"
#include "exec/CommandRunner.h"
#include "exec/ProcessLauncher.h"
#include "platform/FileChecks.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"

#include <sstream>
#include <tuple>

using namespace talvo;
using namespace talvo::testing;

namespace {

const QString precomposedE = QStringLiteral("\u00e9");
const QString decomposedE = QStringLiteral("e\u0301");

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

} // namespace

class InstallFlowTest : public QObject {
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
        QVERIFY(!app.installation.start(Config{}));

        app.engine.release();
        QTRY_COMPARE(app.engine.log(),
                     (QStringList{"status installing", run, "bootstrap", "runStatusApp",
                                  "status installed", "sheet true"}));
    }

    // The product's engine over a computer whose keychain refuses the key: the installation
    // ends on the failure screen, without the daemons or the status application.
    void aKeyThatCouldNotBeStoredEndsOnTheFailureScreen() {
        for (const int addStatus : {0, 50}) {
            KeychainComputer computer;
            computer.addStatus = addStatus;
            SharedInstallerEngine engine(computer.installer);
            InstallState state;
            {
                Installation installation(state, engine);
                QVERIFY(installation.start(
                    Config{std::nullopt, std::nullopt, "long enough", std::nullopt, std::nullopt}));
                QTRY_VERIFY(state.status() != InstallStatus::installing);
            }
            if (addStatus == 0) {
                QCOMPARE(state.status(), InstallStatus::installed);
                QCOMPARE(computer.transcript.str(),
                         "Installing User...\nprivileged\nadd\nprivileged\nprivileged\nopen\n");
            } else {
                QCOMPARE(state.status(), InstallStatus::failed);
                QCOMPARE(computer.transcript.str(),
                         "Installing User...\nprivileged\nadd\n"
                         "Error Domain=ProcessErrorDomain Code=50 \"(null)\"\n");
            }
        }
    }
};

QTEST_MAIN(InstallFlowTest)
#include "InstallFlowTest.moc"
