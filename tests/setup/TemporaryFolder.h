#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace talvo::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& file, std::string_view bytes);
std::optional<std::string> readFile(const std::filesystem::path& file);

// Whether a Python is at hand to write property lists with.
bool hasPython();

// Writes the Python value (a literal; datetime is imported) as a property list with Python's
// plistlib. False when no Python is available.
bool writePythonPropertyList(const std::filesystem::path& file, const std::string& pythonValue,
                             bool binary);

} // namespace talvo::testing
