#include "platform/Posix.h"
#include "platform/PrivilegedExecution.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <mach-o/dyld.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
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

// The system starts the tool with effective user id 0 but our real user id, and a shell started
// that way (macOS's /bin/sh among them) drops back to the real user unless given -p; so would
// every shell the command starts in turn, with -p or not. The tool is therefore our own
// executable: before anything else, it sets all its user ids to root, writes its process id as
// its first line, and only then becomes the requested program. This runs before main, so neither
// Setup nor AgentInstaller needs to know about it. Anyone else who starts us this way cannot set
// the user id and gets nothing.
__attribute__((constructor)) void actAsRootToolWhenAsked(int argc, char** argv) {
    if (!isRootToolStart(argc, argv)) {
        return;
    }
    constexpr int kCannotRunStatus = 127;
    if (::setuid(0) != 0) {
        ::_exit(kCannotRunStatus);
    }
    if (!posix::writeAll(STDOUT_FILENO, std::to_string(::getpid()) + "\n")) {
        ::_exit(kCannotRunStatus);
    }
    ::execv(argv[2], argv + 2);
    ::_exit(kCannotRunStatus);
}

// Our own executable, links resolved, to hand to the system as the tool.
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

// The communications pipe is a socket joined to the tool's stdin and stdout: input goes in whole,
// then our sending side is shut, so the tool reads end of file behind it.
void sendAllAndShut(int channel, std::string_view input) {
    posix::noSignalOnBrokenPipe(channel);
    while (!input.empty()) {
        const ssize_t sent = posix::retryOnInterrupt(
            [&] { return ::send(channel, input.data(), input.size(), posix::kSendNoSignal); });
        if (sent <= 0) {
            break;
        }
        input.remove_prefix(static_cast<std::size_t>(sent));
    }
    ::shutdown(channel, SHUT_WR);
}

// The tool's process id from its first line, reading on to the end and throwing the rest away,
// so that the call returns only once the tool and all it started have let go of the pipe.
std::optional<int> processIdThenDrain(int channel) {
    ToolProcessIdLine firstLine;
    char buffer[4096];
    for (;;) {
        const ssize_t count =
            posix::retryOnInterrupt([&] { return ::read(channel, buffer, sizeof buffer); });
        if (count <= 0) {
            return firstLine.processId();
        }
        firstLine.take(std::string_view(buffer, static_cast<std::size_t>(count)));
    }
}

} // namespace

struct PrivilegedAuthorization::State {
    AuthorizationRef authorization = nullptr;
    AuthorizationExecuteWithPrivilegesFunction executeWithPrivileges = nullptr;
    std::string toolPath;
};

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
    return PrivilegedAuthorization(
        std::make_unique<State>(State{authorization, executeWithPrivileges, std::move(*toolPath)}));
}

PrivilegedAuthorization::PrivilegedAuthorization(std::unique_ptr<State> state)
    : state_(std::move(state)) {}
PrivilegedAuthorization::~PrivilegedAuthorization() = default;
PrivilegedAuthorization::PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept =
    default;
PrivilegedAuthorization&
PrivilegedAuthorization::operator=(PrivilegedAuthorization&& other) noexcept = default;

// The system does not tell the tool's process id, but the tool is our child (the system forks us
// and its helper becomes the tool in place), and the tool's first line names it: waiting for that
// one process gives its real exit status and leaves no zombie, where waiting for any child could
// take another thread's. A missing or wrong first line means the tool never became the program.
PrivilegedRun PrivilegedAuthorization::run(const std::string& path,
                                           const std::vector<std::string>& arguments,
                                           std::string_view input) const {
    using Result = PrivilegedRun::Result;
    const std::vector<std::string> toolArguments = rootToolArguments(path, arguments);
    const posix::ArgumentVector argumentVector(toolArguments.front(),
                                               {toolArguments.begin() + 1, toolArguments.end()});
    if (!argumentVector.isComplete()) {
        return {Result::Failed, 0};
    }
    std::FILE* pipe = nullptr;
    const OSStatus status =
        state_->executeWithPrivileges(state_->authorization, state_->toolPath.c_str(),
                                      kAuthorizationFlagDefaults, argumentVector.get(), &pipe);
    const Stream channel(pipe);
    const Result result = resultOfAuthorizationStatus(status);
    if (result != Result::Ran) {
        return {result, 0};
    }
    if (!channel) {
        return {Result::Failed, 0};
    }
    sendAllAndShut(::fileno(channel.get()), input);
    const std::optional<int> tool = processIdThenDrain(::fileno(channel.get()));
    if (!tool) {
        return {Result::Failed, 0};
    }
    int waitStatus = 0;
    if (posix::retryOnInterrupt([&] { return ::waitpid(*tool, &waitStatus, 0); }) != *tool) {
        return {Result::Failed, 0};
    }
    return {Result::Ran, posix::shellStatus(waitStatus)};
}

} // namespace talvo
