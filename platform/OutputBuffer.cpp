#include "platform/OutputBuffer.h"

#include <algorithm>
#include <utility>

namespace talvo {

namespace {

// A pipe's usual capacity, so that small outputs take one block; the cap keeps the block that is
// briefly held twice during take() small next to a large output.
constexpr std::size_t kFirstBlockSize = 64 * 1024;
constexpr std::size_t kLargestBlockSize = 8 * 1024 * 1024;

} // namespace

std::span<char> OutputBuffer::spaceForMore() {
    if (blocks_.empty() || usedInLastBlock_ == blocks_.back().size()) {
        const std::size_t size = blocks_.empty()
                                     ? kFirstBlockSize
                                     : std::min(blocks_.back().size() * 2, kLargestBlockSize);
        blocks_.emplace_back(size);
        usedInLastBlock_ = 0;
    }
    const PageBlock& last = blocks_.back();
    return {last.data() + usedInLastBlock_, last.size() - usedInLastBlock_};
}

void OutputBuffer::commit(std::size_t count) {
    usedInLastBlock_ += count;
    size_ += count;
}

std::string OutputBuffer::take() {
    std::string text;
    text.reserve(size_);
    adviseLargePages(text.data(), size_);
    for (std::size_t index = 0; index < blocks_.size(); ++index) {
        const bool isLast = index + 1 == blocks_.size();
        PageBlock block = std::exchange(blocks_[index], PageBlock());
        text.append(block.data(), isLast ? usedInLastBlock_ : block.size());
    }
    blocks_.clear();
    usedInLastBlock_ = 0;
    size_ = 0;
    return text;
}

} // namespace talvo
