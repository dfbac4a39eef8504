#include "engine/AgentProcessSearch.h"

#include "platform/UnicodeText.h"

namespace talvo::agentProcessSearch {

namespace {

constexpr std::string_view kSearchedName = "TalvoBackupAgent";
constexpr std::string_view kSearchItself = "grep TalvoBackupAgent";

std::string withoutSearchItself(std::string_view listing) {
    std::string rest;
    rest.reserve(listing.size());
    while (!listing.empty()) {
        const auto found = listing.find(kSearchItself);
        rest += listing.substr(0, found);
        if (found == std::string_view::npos) {
            break;
        }
        listing.remove_prefix(found + kSearchItself.size());
    }
    return rest;
}

} // namespace

std::vector<std::string> shellArguments() {
    return {"-c", "ps aux | grep TalvoBackupAgent"};
}

bool mentionsAgent(std::string_view listing) {
    if (!unicode::isValidUtf8(listing)) {
        return false;
    }
    return withoutSearchItself(listing).find(kSearchedName) != std::string::npos;
}

} // namespace talvo::agentProcessSearch
