// The profile operations on the computer's own files; kept apart from parse() so that only
// callers of these need the user lookup.
#include "exec/Task.h"
#include "setup/ArgumentParser.h"
#include "setup/ManagedPreferences.h"

#include <iostream>

namespace talvo::ArgumentParser {

std::optional<PropertyDictionary> MDMSettings() {
    return ManagedPreferences("", Task::userName(), std::cout).settings();
}

std::optional<Config> profile() {
    return ManagedPreferences("", Task::userName(), std::cout).profile();
}

} // namespace talvo::ArgumentParser
