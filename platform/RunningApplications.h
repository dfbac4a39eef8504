#pragma once

#include <string>

namespace talvo {

class RunningApplications {
  public:
    virtual ~RunningApplications() = default;
    // Whether at least one running application has this bundle identifier.
    virtual bool isRunning(const std::string& bundleIdentifier) const = 0;
};

// Scans /proc: a process is a running application of a bundle only when it runs that bundle's
// main executable ("<bundle>.app/Contents/MacOS/" plus the CFBundleExecutable of its
// Contents/Info.plist, which also gives the CFBundleIdentifier). The innermost bundle counts, so
// an application nested in another's MacOS folder is its own.
class ProcRunningApplications final : public RunningApplications {
  public:
    bool isRunning(const std::string& bundleIdentifier) const override;
};

} // namespace talvo
