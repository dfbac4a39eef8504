#pragma once

// What the catalogues of adversarial shapes share: building a shape to a size, and the time per
// byte that a reader takes for it, so that its 16 KiB and 1 MiB forms can be compared.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace talvo::bench {

// unit repeated until the text holds at least size bytes.
inline std::string filled(std::string_view unit, std::size_t size) {
    std::string text;
    text.reserve(size + unit.size());
    while (text.size() < size) {
        text += unit;
    }
    return text;
}

// The best of a few rounds of read, each long enough to be measured, per byte of the input.
template <typename Read> double secondsPerByte(std::size_t bytes, const Read& read) {
    using Clock = std::chrono::steady_clock;
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        int reads = 0;
        const auto start = Clock::now();
        do {
            read();
            ++reads;
        } while (Clock::now() - start < std::chrono::milliseconds(20));
        const std::chrono::duration<double> took = Clock::now() - start;
        best = std::min(best, took.count() / reads);
    }
    return best / static_cast<double>(bytes);
}

} // namespace talvo::bench
