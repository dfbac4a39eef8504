#pragma once

#include <string>

namespace talvo {

class FileChecks {
  public:
    virtual ~FileChecks() = default;
    virtual bool fileExists(const std::string& path) const = 0;
};

class LocalFileChecks final : public FileChecks {
  public:
    bool fileExists(const std::string& path) const override;
};

} // namespace talvo
