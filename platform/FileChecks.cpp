#include "platform/FileChecks.h"

#include <sys/stat.h>

namespace talvo {

// Follows symbolic links and counts folders, as the desktop's own existence test does.
bool LocalFileChecks::fileExists(const std::string& path) const {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

} // namespace talvo
