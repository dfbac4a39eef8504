#pragma once

#include "platform/PrivilegedOutcome.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Running one program as root behind the system's authentication dialog: pkexec on Linux; on
// macOS the Security framework, once, to start our root tool (platform/RootTool.h), which runs
// the programs.
namespace talvo {

// An authorization to run programs as root. The caller keeps one for the whole process, so that
// rights granted at one prompt may serve the next.
class PrivilegedAuthorization {
  public:
    // Nothing when no authorization can be had on this system.
    static std::optional<PrivilegedAuthorization> create();

    ~PrivilegedAuthorization();
    PrivilegedAuthorization(PrivilegedAuthorization&& other) noexcept;
    PrivilegedAuthorization& operator=(PrivilegedAuthorization&& other) noexcept;

    // Runs path with arguments as root (every user id 0). input is its whole stdin, followed by
    // end of file; its stdout is read to its end and thrown away; its stderr is ours. Never
    // unavailable.
    PrivilegedOutcome run(const std::string& path, const std::vector<std::string>& arguments,
                          std::string_view input);

  private:
    struct State;
    explicit PrivilegedAuthorization(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

// Where the system asks through an elevation tool (Linux): the tool create() uses from then on.
// The programs never call this and always use the absolute /usr/bin/pkexec, never a tool found on
// PATH or named by the environment, which would let whoever controls those pick the program that
// receives the password. Tests point it at their stand-in before the first create().
void useElevationToolForTests(std::string path);

// What the Security framework's status codes (OSStatus) mean for a request: success lets the
// program run, a dismissed dialog is dismissed, anything else denied.
PrivilegedOutcome::Kind kindOfAuthorizationStatus(std::int32_t status);

} // namespace talvo
