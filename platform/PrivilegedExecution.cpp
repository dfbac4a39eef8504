#include "platform/PrivilegedExecution.h"

namespace talvo {

namespace {

// The Security framework's documented status codes.
constexpr std::int32_t kAuthorizationSuccess = 0;
constexpr std::int32_t kAuthorizationCanceled = -60006;

} // namespace

PrivilegedOutcome::Kind kindOfAuthorizationStatus(std::int32_t status) {
    using Kind = PrivilegedOutcome::Kind;
    switch (status) {
    case kAuthorizationSuccess:
        return Kind::ran;
    case kAuthorizationCanceled:
        return Kind::dismissed;
    // Refused rights, no way to ask, a tool that could not start: the rights were not had.
    default:
        return Kind::denied;
    }
}

} // namespace talvo
