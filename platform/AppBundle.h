#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// A text value of the bundle's Contents/Info.plist; nothing when the file cannot be read or the
// key is missing or not text.
std::optional<std::string> infoString(const std::string& bundlePath, std::string_view key);

} // namespace talvo::bundle
