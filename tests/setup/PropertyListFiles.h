#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

// Scratch files for the property-list and profile tests.
namespace talvo::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = std::filesystem::temp_directory_path() / "talvo-test-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

inline std::optional<std::string> readFile(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}

// Writes the Python value (a literal; datetime is imported) as a property list with Python's
// plistlib, a writer independent of the library under test. False when there is no Python.
inline bool writePythonPropertyList(const std::filesystem::path& file,
                                    const std::string& pythonValue, bool binary) {
    const std::string python = TALVO_PYTHON3;
    if (python.empty() || python.ends_with("NOTFOUND")) {
        return false;
    }
    const auto script = file.string() + ".py";
    writeFile(script, "import datetime, plistlib, sys\n"
                      "open(sys.argv[1], 'wb').write(plistlib.dumps(" +
                          pythonValue + ", fmt=plistlib.FMT_" + (binary ? "BINARY" : "XML") +
                          "))\n");
    const auto command = "'" + python + "' '" + script + "' '" + file.string() + "'";
    const bool written = std::system(command.c_str()) == 0;
    std::filesystem::remove(script);
    if (!written) {
        throw std::runtime_error("python could not write " + file.string());
    }
    return true;
}

} // namespace talvo::testing
