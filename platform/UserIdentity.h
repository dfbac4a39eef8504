#pragma once

#include <string>

// Who this process acts as: its effective user, by number and by login name.
namespace talvo {

class UserIdentity {
  public:
    virtual ~UserIdentity() = default;
    virtual unsigned effectiveUserId() const = 0;
    bool isSuperuser() const { return effectiveUserId() == 0; }
};

class ProcessUserIdentity final : public UserIdentity {
  public:
    unsigned effectiveUserId() const override;
};

// The login name of the effective user from the user database; empty when it has no entry.
std::string effectiveUserLoginName();

} // namespace talvo
