#include "TemporaryFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace talvo::testing {

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talvo-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> readFile(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    return std::string{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

bool hasPython() {
    const std::string python = TALVO_PYTHON3;
    return !python.empty() && python.find("NOTFOUND") == std::string::npos;
}

bool writePythonPropertyList(const std::filesystem::path& file, const std::string& pythonValue,
                             bool binary) {
    if (!hasPython()) {
        return false;
    }
    const std::string python = TALVO_PYTHON3;
    std::filesystem::create_directories(file.parent_path());
    const auto script = file.string() + ".py";
    writeFile(script, "import datetime, plistlib\n"
                      "value = " +
                          pythonValue +
                          "\n"
                          "with open(" +
                          std::string("r'") + file.string() + "', 'wb') as out:\n" +
                          "    out.write(plistlib.dumps(value, fmt=plistlib." +
                          (binary ? "FMT_BINARY" : "FMT_XML") + "))\n");
    const auto command = "'" + python + "' '" + script + "'";
    const bool written = std::system(command.c_str()) == 0;
    std::filesystem::remove(script);
    if (!written) {
        throw std::runtime_error("python could not write " + file.string());
    }
    return true;
}

} // namespace talvo::testing
