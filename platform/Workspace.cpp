#include "platform/Workspace.h"

#include "platform/AppBundle.h"
#include "platform/DetachedProcess.h"
#include "platform/FileURL.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace talvo {

namespace {

std::optional<std::string> findOnPath(std::string_view name) {
    const char* const path = std::getenv("PATH");
    if (path == nullptr) {
        return std::nullopt;
    }
    std::string_view folders = path;
    while (true) {
        const auto end = folders.find(':');
        const auto folder = folders.substr(0, end);
        if (!folder.empty()) {
            auto candidate = std::string(folder) + "/" + std::string(name);
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        folders.remove_prefix(end + 1);
    }
}

} // namespace

void LinuxWorkspace::openBundle(const std::string& path) {
    const auto executable = bundle::infoString(path, "CFBundleExecutable");
    // The executable is a file name inside Contents/MacOS, never a path out of the bundle.
    if (!executable || executable->empty() || executable->find('/') != std::string::npos) {
        return;
    }
    startDetached(path + "/Contents/MacOS/" + *executable, {});
}

void LinuxWorkspace::openURL(const std::string& url) {
    if (const auto path = pathFromFileURL(url); path && bundle::isBundlePath(*path)) {
        openBundle(*path);
        return;
    }
    if (const auto opener = findOnPath("xdg-open")) {
        startDetached(*opener, {url});
    }
}

} // namespace talvo
