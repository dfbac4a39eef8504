#include "platform/ChildProcess.h"
#include "platform/Posix.h"
#include "platform/PrivilegedExecution.h"
#include "platform/RootTool.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <libproc.h>
#include <mach-o/dyld.h>
#include <string>
#include <unistd.h>
#include <utility>

// The few Security framework declarations used here, as Apple documents them. The framework is
// loaded at run time, so that the program links against libSystem alone.
namespace {

using OSStatus = std::int32_t;
using AuthorizationFlags = std::uint32_t;
struct AuthorizationOpaqueRef;
using AuthorizationRef = AuthorizationOpaqueRef*;
struct AuthorizationItemSet;

constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;

using AuthorizationCreateFunction = OSStatus (*)(const AuthorizationItemSet* rights,
                                                 const AuthorizationItemSet* environment,
                                                 AuthorizationFlags flags,
                                                 AuthorizationRef* authorization);
using AuthorizationExecuteWithPrivilegesFunction = OSStatus (*)(AuthorizationRef authorization,
                                                                const char* pathToTool,
                                                                AuthorizationFlags options,
                                                                char* const* arguments,
                                                                std::FILE** communicationsPipe);

constexpr const char* kSecurityFramework = "/System/Library/Frameworks/Security.framework/Security";

} // namespace

namespace talvo {

namespace {

// Our own executable, links resolved, to hand to the system as the root tool.
std::optional<std::string> ownExecutable() {
    std::uint32_t size = 0;
    ::_NSGetExecutablePath(nullptr, &size);
    std::string path(size, '\0');
    if (size == 0 || ::_NSGetExecutablePath(path.data(), &size) != 0) {
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

struct ClosedStream {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, ClosedStream>;

// Our children as the system lists them, zombies included.
std::vector<pid_t> childProcesses() {
    const int count = ::proc_listchildpids(::getpid(), nullptr, 0);
    // Room for a few more than there were a moment ago.
    std::vector<pid_t> children(count > 0 ? static_cast<std::size_t>(count) + 16 : 16);
    const int listed = ::proc_listchildpids(::getpid(), children.data(),
                                            static_cast<int>(children.size() * sizeof(pid_t)));
    children.resize(listed > 0 ? std::min(static_cast<std::size_t>(listed), children.size()) : 0);
    return children;
}

// A process that the system started for us but whose id never reached us (the tool or the
// system's helper ended early) is one of our children that was not there before the start.
// Privileged commands are run by the one thread that starts our other programs too, so no other
// child can have appeared meanwhile.
void reapChildrenSince(const std::vector<pid_t>& before) {
    for (const pid_t child : childProcesses()) {
        if (std::find(before.begin(), before.end(), child) == before.end()) {
            reapInBackground(child);
        }
    }
}

} // namespace

struct PrivilegedAuthorization::State {
    AuthorizationRef authorization = nullptr;
    AuthorizationExecuteWithPrivilegesFunction executeWithPrivileges = nullptr;
    std::string toolPath;
    // Once the system has started the tool, it is never asked again: with the right kept from
    // that first dialog, it would start our executable, which the user may have replaced by
    // then, as root without asking.
    bool toolStarted = false;
    std::optional<roottool::Session> tool;

    PrivilegedOutcome::Kind startTool();
};

// How the system's start of the tool went; ran once the tool has greeted.
PrivilegedOutcome::Kind PrivilegedAuthorization::State::startTool() {
    using Kind = PrivilegedOutcome::Kind;
    const posix::ArgumentVector argumentVector(roottool::kMarker, {});
    if (!argumentVector.isComplete()) {
        return Kind::denied;
    }
    const std::vector<pid_t> before = childProcesses();
    std::FILE* pipe = nullptr;
    const OSStatus status = executeWithPrivileges(
        authorization, toolPath.c_str(), kAuthorizationFlagDefaults, argumentVector.get(), &pipe);
    const Stream stream(pipe);
    const Kind started = kindOfAuthorizationStatus(status);
    if (started != Kind::ran) {
        reapChildrenSince(before); // the system's helper may have started and failed
        return started;
    }
    toolStarted = true;
    // Close-on-exec, so that no program we start later holds the tool's channel: it could send
    // the tool commands, and would keep the tool alive after we end.
    posix::FileDescriptor channel(stream ? ::fcntl(::fileno(stream.get()), F_DUPFD_CLOEXEC, 0)
                                         : -1);
    const std::optional<int> processId =
        channel.isOpen() ? roottool::readGreeting(channel.get()) : std::nullopt;
    if (!processId) {
        channel.reset(); // a tool still running ends at end of file
        reapChildrenSince(before);
        return Kind::denied;
    }
    tool.emplace(std::move(channel), *processId);
    return Kind::ran;
}

// The framework stays loaded and the authorization is never freed: both serve the whole process.
std::optional<PrivilegedAuthorization> PrivilegedAuthorization::create() {
    void* const framework = ::dlopen(kSecurityFramework, RTLD_NOW | RTLD_LOCAL);
    if (framework == nullptr) {
        return std::nullopt;
    }
    const auto createAuthorization =
        reinterpret_cast<AuthorizationCreateFunction>(::dlsym(framework, "AuthorizationCreate"));
    const auto executeWithPrivileges = reinterpret_cast<AuthorizationExecuteWithPrivilegesFunction>(
        ::dlsym(framework, "AuthorizationExecuteWithPrivileges"));
    auto toolPath = ownExecutable();
    if (createAuthorization == nullptr || executeWithPrivileges == nullptr || !toolPath) {
        return std::nullopt;
    }
    AuthorizationRef authorization = nullptr;
    if (createAuthorization(nullptr, nullptr, kAuthorizationFlagDefaults, &authorization) != 0 ||
        authorization == nullptr) {
        return std::nullopt;
    }
    auto state = std::make_unique<State>();
    state->authorization = authorization;
    state->executeWithPrivileges = executeWithPrivileges;
    state->toolPath = std::move(*toolPath);
    return PrivilegedAuthorization(std::move(state));
}

PrivilegedAuthorization::PrivilegedAuthorization(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
PrivilegedAuthorization::~PrivilegedAuthorization() = default;
PrivilegedAuthorization::PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept =
    default;
PrivilegedAuthorization&
PrivilegedAuthorization::operator=(PrivilegedAuthorization&& other) noexcept = default;

// The first call has the system start our executable as the root tool (showing the dialog when
// the right is not held yet); the tool greets with its process id, since the system does not tell
// it, and every call then sends the tool its program. The tool is our child (the system forks us
// and its helper becomes the tool in place), so waiting for that one process id reaps it, where
// waiting for any child could take another thread's.
PrivilegedOutcome PrivilegedAuthorization::run(const std::string& path,
                                               const std::vector<std::string>& arguments,
                                               std::string_view input) {
    using Kind = PrivilegedOutcome::Kind;
    if (!state_->toolStarted) {
        const Kind started = state_->startTool();
        if (started != Kind::ran) {
            return {started, 0};
        }
    }
    if (!state_->tool) {
        return {Kind::denied, 0};
    }
    const std::optional<int> status = state_->tool->run({path, arguments, std::string(input)});
    if (!status) {
        return {Kind::denied, 0};
    }
    return {Kind::ran, *status};
}

} // namespace talvo
