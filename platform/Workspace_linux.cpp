#include "format/FileURL.h"
#include "platform/Bundle.h"
#include "platform/ChildProcess.h"
#include "platform/Workspace.h"

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

void SystemWorkspace::openBundle(const std::string& path) {
    if (const auto executable = bundle::mainExecutable(path)) {
        startDetached(*executable, {});
    }
}

void SystemWorkspace::openURL(const std::string& url) {
    if (const auto path = pathFromFileURL(url); path && bundle::isBundlePath(*path)) {
        openBundle(*path);
        return;
    }
    if (const auto opener = findOnPath("xdg-open")) {
        startDetached(*opener, {url});
    }
}

} // namespace talvo
