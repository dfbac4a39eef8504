#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace talvo::testing {

// A temporary folder, removed with everything in it.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "talvo-platform-XXXXXX").string();
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

// Writes an application bundle: Contents/Info.plist with the identifier and executable name, and
// Contents/MacOS/<executable> as a copy of a program or as a script. Returns the bundle path.
inline std::filesystem::path makeBundle(const std::filesystem::path& bundle,
                                        const std::string& identifier,
                                        const std::string& executable) {
    std::filesystem::create_directories(bundle / "Contents" / "MacOS");
    std::ofstream(bundle / "Contents" / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict>\n"
           "<key>CFBundleIdentifier</key><string>"
        << identifier
        << "</string>\n"
           "<key>CFBundleExecutable</key><string>"
        << executable << "</string>\n</dict></plist>\n";
    return bundle;
}

inline void writeScript(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
}

} // namespace talvo::testing
