#include "exec/ProcessLauncher.h"

#include "exec/ChildProcess.h"

namespace talvo {

std::optional<std::string>
PosixProcessLauncher::standardOutputOf(const std::string& executable,
                                       const std::vector<std::string>& arguments) {
    std::vector<std::string> argumentVector{executable};
    argumentVector.insert(argumentVector.end(), arguments.begin(), arguments.end());
    std::optional<CollectedOutput> finished =
        runCollectingOutput(executable, argumentVector, ErrorStream::Inherited);
    if (!finished) {
        return std::nullopt;
    }
    return std::move(finished->bytes);
}

} // namespace talvo
