#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talvo {

// The largest Info.plist read from a bundle. Real ones are a few KiB and large applications' some
// tens of KiB; the bound keeps a user's own bundles from making a root process read or hold much.
inline constexpr std::size_t kBundleInfoSizeLimit = std::size_t{256} << 10;

} // namespace talvo

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
