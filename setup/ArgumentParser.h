#pragma once

#include "engine/Config.h"
#include "platform/PropertyList.h"

#include <optional>
#include <string>
#include <vector>

namespace talvo::ArgumentParser {

// KEY=VALUE words (program path first) into a Config. Never fails, prints nothing.
Config parse(const std::vector<std::string>& args);

// The root of the computer-wide managed preferences, else of the current user's; nothing when
// neither can be read. Never fails, prints nothing.
std::optional<PropertyDictionary> MDMSettings();

// The Config the managed preferences describe, nothing without them. Writes the seed file when
// the profile has a seed section and prints the error line when that write fails. Throws an
// InputError naming where and why (never the value) when the preferences are a property list
// whose values cannot arrive exactly; nothing is written then.
std::optional<Config> profile();

} // namespace talvo::ArgumentParser
