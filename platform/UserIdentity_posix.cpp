#include "platform/UserIdentity.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace talvo {

unsigned ProcessUserIdentity::effectiveUserId() const {
    return ::geteuid();
}

std::string effectiveUserLoginName() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->pw_name;
}

} // namespace talvo
