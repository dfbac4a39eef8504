#pragma once

#include <string>

namespace talvo {

class RunningApplications {
  public:
    virtual ~RunningApplications() = default;
    // Whether at least one running application has this bundle identifier.
    virtual bool isRunning(const std::string& bundleIdentifier) const = 0;
};

// Scans /proc: a process whose executable lies in a "*.app/Contents/MacOS/" folder belongs to
// that bundle, whose Contents/Info.plist gives the CFBundleIdentifier.
class ProcRunningApplications final : public RunningApplications {
  public:
    bool isRunning(const std::string& bundleIdentifier) const override;
};

} // namespace talvo
