#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvo {

// One installation's settings, from the command line, a managed profile or the passphrase screen.
struct Config {
    std::optional<std::string> registrationToken;
    std::optional<std::string> registrationService;
    std::optional<std::string> encryptionKey;
    std::optional<std::string> seedPath; // may already carry its own shell quoting
    std::optional<bool> cleanUp;

    // Throws the InputError when an encryption key is given with fewer than 8 user-perceived
    // characters (or is not valid UTF-8).
    void validate() const;

    // The agent setup command's option words: token, service, seed path, clean-up, values verbatim.
    std::vector<std::string> arguments() const;
    // The same words as a log may show them: the registration token, a credential, masked.
    std::vector<std::string> shownArguments() const;

    bool operator==(const Config&) const = default;

  private:
    std::vector<std::string> argumentsWithToken(const std::optional<std::string>& token) const;
};

} // namespace talvo
