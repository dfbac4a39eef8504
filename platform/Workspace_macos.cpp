#include "platform/ChildProcess.h"
#include "platform/Workspace.h"

namespace talvo {

namespace {

const std::string kOpen = "/usr/bin/open";

// open reads a leading dash as an option; our paths and URLs never start with one.
void openDetached(const std::string& pathOrURL) {
    if (pathOrURL.empty() || pathOrURL.starts_with('-')) {
        return;
    }
    startDetached(kOpen, {pathOrURL});
}

} // namespace

void SystemWorkspace::openBundle(const std::string& path) {
    openDetached(path);
}

void SystemWorkspace::openURL(const std::string& url) {
    openDetached(url);
}

} // namespace talvo
