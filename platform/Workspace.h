#pragma once

#include <string>

namespace talvo {

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

} // namespace talvo
