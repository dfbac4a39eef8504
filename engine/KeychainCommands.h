#pragma once

#include <string>
#include <string_view>

// The `security` command lines that keep the customer's encryption passphrase in the System
// keychain as one generic-password item, readable by the agent's executable without a prompt.
namespace talvo::keychain {

// `security` reports a missing item with this exit status.
inline constexpr int kItemNotFoundStatus = 44;

std::string findCommand();
std::string deleteCommand();
// The passphrase stands between double quotes, escaped so that the shell hands it on byte-exact.
std::string addCommand(std::string_view passphrase);

// Protects the characters the shell still interprets between double quotes: \ " $ and `.
std::string escapedForDoubleQuotes(std::string_view text);

} // namespace talvo::keychain
