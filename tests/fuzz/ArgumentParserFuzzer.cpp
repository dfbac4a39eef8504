// Arbitrary bytes as a command line: words are separated by NUL bytes, as in the process's
// argument vector.
#include "setup/ArgumentParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t end = input.find('\0'); end != std::string::npos;
         start = end + 1, end = input.find('\0', start)) {
        words.push_back(input.substr(start, end - start));
    }
    words.push_back(input.substr(start));

    for (const auto& word : words) {
        // Both pieces are non-empty parts of the word, joined by the "=" that split them.
        if (const auto pieces = talvo::ArgumentParser::splitKeyValueWord(word)) {
            const auto keyStart = static_cast<std::size_t>(pieces->key.data() - word.data());
            const auto valueStart = static_cast<std::size_t>(pieces->value.data() - word.data());
            if (pieces->key.empty() || pieces->value.empty() ||
                valueStart != keyStart + pieces->key.size() + 1 || word[valueStart - 1] != '=' ||
                valueStart + pieces->value.size() != word.size()) {
                std::abort();
            }
        }
    }
    (void)talvo::ArgumentParser::parse(words);
    return 0;
}
