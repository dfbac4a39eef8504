#pragma once

#include "platform/PropertyListFile.h"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// What the installer asks of the desktop: application bundles and their parts, whether files
// exist, opening bundles and URLs, and which applications run.

// Where an application bundle keeps its parts: "<name>.app/Contents/Info.plist" describes it and
// "<name>.app/Contents/MacOS/" holds its executables.
namespace talvo::bundle {

// The innermost bundle whose Contents/MacOS folder holds the executable at this path; nothing
// when it lies in none. A bundle may sit inside another's MacOS folder.
std::optional<std::string> bundleOfExecutable(std::string_view executablePath);

// The path of the bundle's main executable: Contents/MacOS/ followed by the CFBundleExecutable of
// its Info.plist. Nothing when that is missing, not text, or not a plain file name.
std::optional<std::string> mainExecutable(const std::string& bundlePath);

// Whether a path names a bundle folder by its name ("*.app", trailing slashes allowed).
bool isBundlePath(std::string_view path);

// Finds, among running programs noted one at a time, the applications with some bundle
// identifiers: a program is one when its executable is its innermost bundle's main executable,
// so helpers and daemons that share the bundle's MacOS folder are not. Each bundle's Info.plist is
// read at most once, and only when it holds at most infoSizeLimit bytes, however many of its
// programs run and however many identifiers are asked for: a whole scan costs one look per
// program plus the bytes of the bundles read.
class ApplicationScan {
  public:
    ApplicationScan(std::vector<std::string> bundleIdentifiers, std::size_t infoSizeLimit);

    void note(const std::string& executablePath);
    // Every identifier has been found: the other programs need no look.
    bool foundAll() const { return found_.size() == bundleIdentifiers_.size(); }
    const std::set<std::string>& found() const { return found_; }

  private:
    // A bundle with one of the identifiers asked for.
    struct Application {
        std::string bundleIdentifier;
        std::string mainExecutable;
    };

    std::optional<Application> applicationOf(const std::string& bundlePath) const;

    std::set<std::string> bundleIdentifiers_;
    std::size_t infoSizeLimit_;
    std::set<std::string> found_;
    // Every bundle met so far, by path; nothing for those of no identifier asked for.
    std::unordered_map<std::string, std::optional<Application>> bundles_;
};

} // namespace talvo::bundle

namespace talvo {

class FileChecks {
  public:
    virtual ~FileChecks() = default;
    virtual bool fileExists(const std::string& path) const = 0;
};

class LocalFileChecks final : public FileChecks {
  public:
    bool fileExists(const std::string& path) const override;
};

// Asks the desktop to open things. Results are not reported: callers ignore them.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // Opens the application bundle at a file path (its Contents/Info.plist names the executable).
    virtual void openBundle(const std::string& path) = 0;
    // Opens a URL: a file URL of a bundle opens that bundle, anything else goes to the desktop.
    virtual void openURL(const std::string& url) = 0;
};

// Opens detached: on macOS through /usr/bin/open; elsewhere a bundle starts its main executable
// and other URLs go to xdg-open.
class SystemWorkspace final : public Workspace {
  public:
    void openBundle(const std::string& path) override;
    void openURL(const std::string& url) override;
};

class RunningApplications {
  public:
    virtual ~RunningApplications() = default;
    // Those of the bundle identifiers that at least one running application has, from one look
    // at the running programs.
    virtual std::set<std::string>
    runningAmong(const std::vector<std::string>& bundleIdentifiers) const = 0;
};

// Lists the processes once (/proc, or the kernel's process table on macOS): a process is a running
// application of a bundle only when it runs that bundle's main executable ("<bundle>.app/Contents/
// MacOS/" plus the CFBundleExecutable of its Contents/Info.plist, which also gives the
// CFBundleIdentifier). The innermost bundle counts, so an application nested in another's MacOS
// folder is its own. Any local user can start programs from bundles of their own, so the size of
// an Info.plist that is read is capped (see ApplicationScan).
class SystemRunningApplications final : public RunningApplications {
  public:
    explicit SystemRunningApplications(std::size_t infoSizeLimit = kBundleInfoSizeLimit)
        : infoSizeLimit_(infoSizeLimit) {}

    std::set<std::string>
    runningAmong(const std::vector<std::string>& bundleIdentifiers) const override;

  private:
    std::size_t infoSizeLimit_;
};

} // namespace talvo
