#pragma once

// The time per byte that a catalogue's reader takes for one input: the best of a few rounds, each
// long enough to be measured, so that a shape's 16 KiB and 1 MiB forms can be compared.
#include <algorithm>
#include <chrono>
#include <cstddef>

namespace talvo::bench {

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
