#include "platform/UserIdentity.h"

#include <unistd.h>

namespace talvo {

unsigned ProcessUserIdentity::effectiveUserId() const {
    return ::geteuid();
}

} // namespace talvo
