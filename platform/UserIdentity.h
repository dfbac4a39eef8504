#pragma once

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

} // namespace talvo
