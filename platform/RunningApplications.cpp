#include "platform/RunningApplications.h"

#include "platform/AppBundle.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

namespace talvo {

namespace {

bool isProcessFolder(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char character) {
        return std::isdigit(static_cast<unsigned char>(character)) != 0;
    });
}

// The program file a process runs: its exe link, or when that is not readable (another user's
// process) the first word of its command line.
std::optional<std::string> executableOf(const std::filesystem::path& processFolder) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(processFolder / "exe", error).string();
    if (!error && !target.empty()) {
        constexpr std::string_view replaced = " (deleted)";
        if (target.ends_with(replaced)) {
            target.resize(target.size() - replaced.size());
        }
        return target;
    }
    std::ifstream commandLine(processFolder / "cmdline", std::ios::binary);
    std::string firstWord;
    if (!std::getline(commandLine, firstWord, '\0') || firstWord.empty()) {
        return std::nullopt;
    }
    return firstWord;
}

} // namespace

bool ProcRunningApplications::isRunning(const std::string& bundleIdentifier) const {
    // What a bundle's Info.plist says, read once per scan: many processes share a bundle.
    struct BundleFacts {
        std::optional<std::string> identifier;
        std::optional<std::string> mainExecutable;
    };
    std::map<std::string, BundleFacts> bundles;
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        if (!isProcessFolder(entry->path().filename().string())) {
            continue;
        }
        const auto executable = executableOf(entry->path());
        if (!executable) {
            continue;
        }
        const auto bundlePath = bundle::bundleOfExecutable(*executable);
        if (!bundlePath) {
            continue;
        }
        auto [known, isNew] = bundles.try_emplace(*bundlePath);
        if (isNew) {
            known->second = {bundle::infoString(*bundlePath, "CFBundleIdentifier"),
                             bundle::mainExecutable(*bundlePath)};
        }
        // Helpers and daemons that share the bundle's MacOS folder are not the application.
        if (known->second.identifier == bundleIdentifier &&
            known->second.mainExecutable == *executable) {
            return true;
        }
    }
    return false;
}

} // namespace talvo
