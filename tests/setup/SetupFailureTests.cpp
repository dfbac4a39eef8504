#include "exec/CommandRunner.h"
#include "exec/ProcessLauncher.h"
#include "platform/FileChecks.h"
#include "platform/RunningApplications.h"
#include "platform/UserIdentity.h"
#include "platform/Workspace.h"
#include "setup/SetupFlow.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvo {
namespace {

using Lines = std::vector<std::string>;

// A superuser's computer on which one place fails with an exception no step expects: the agent
// application's lookup, or the agent's setup command (where collecting its output is what runs
// out of memory). Everything the installer starts or opens is noted in the transcript.
struct FailingComputer final : CommandRunner,
                               ProcessLauncher,
                               FileChecks,
                               Workspace,
                               RunningApplications,
                               UserIdentity {
    std::function<void()> failInLookup = [] {};
    std::function<void()> failInAgentSetup = [] {};
    std::ostringstream transcript;
    Installer installer{InstallerEnvironment{*this, *this, *this, *this, *this, *this, transcript}};

    std::string syncThrows(const std::string& command) override {
        transcript << "sync> " << command << '\n';
        if (command.find("daemon --init") != std::string::npos) {
            failInAgentSetup();
        }
        return {};
    }
    PrivilegedOutcome sudo(const std::string&) override { return {}; }
    std::optional<std::string> standardOutputOf(const std::string&,
                                                const std::vector<std::string>&) override {
        return std::string();
    }
    bool fileExists(const std::string&) const override { return false; }
    void openBundle(const std::string& path) override { transcript << "open> " << path << '\n'; }
    void openURL(const std::string& url) override { transcript << "open> " << url << '\n'; }
    bool isRunning(const std::string&) const override {
        failInLookup();
        return false;
    }
    unsigned effectiveUserId() const override { return 0; }

    int runSetup() {
        const std::vector<std::string> words = {"/usr/local/bin/Setup", "REG_TOKEN=t"};
        return talvo::runSetup(
            installer, *this, words, [] { return std::nullopt; }, transcript);
    }

    Lines lines() const {
        Lines result;
        std::istringstream in(transcript.str());
        for (std::string line; std::getline(in, line);) {
            result.push_back(line);
        }
        return result;
    }
};

const std::string kAgentSetup = "sync> sudo \"/Applications/Talvo Backup Agent.app/Contents/MacOS/"
                                "TalvoBackupAgent\" daemon --init -reg-token=t";

TEST(UnexpectedFailure, EndsTheRunAtOnceWithOneErrorLineAndItsOwnStatus) {
    const struct {
        const char* name;
        std::function<void()> failure;
        std::string line;
        int status;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); },
         R"(Error Domain=InternalError Code=71 "Out of memory")", kExitOutOfMemory},
        {"standard exception, its text kept on one line",
         [] { throw std::runtime_error("cannot go on\nat all"); },
         R"(Error Domain=InternalError Code=70 "cannot go on at all")", kExitInternalError},
        {"anything else", [] { throw 42; },
         R"(Error Domain=InternalError Code=70 "Unknown failure")", kExitInternalError},
    };
    for (const auto& [name, failure, line, status] : cases) {
        FailingComputer computer;
        computer.failInAgentSetup = failure;
        EXPECT_EQ(computer.runSetup(), status) << name;
        // Nothing after the failure: no daemon started, the agent application not opened.
        EXPECT_EQ(computer.lines(), (Lines{"Checking MDM...", "No MDM found...",
                                           "Installing User...", kAgentSetup, line}))
            << name;
    }
}

TEST(UnexpectedFailure, BeforeAnythingIsInstalledStopsTheRunToo) {
    FailingComputer computer;
    computer.failInLookup = [] { throw std::bad_alloc(); };
    EXPECT_EQ(computer.runSetup(), kExitOutOfMemory);
    EXPECT_EQ(computer.lines(), Lines{R"(Error Domain=InternalError Code=71 "Out of memory")"});
}

} // namespace
} // namespace talvo
