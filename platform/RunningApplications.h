#pragma once

#include "platform/Bundle.h"

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace talvo {

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
