#pragma once

#include "platform/PageBlock.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// A command's output held in memory pages of its own while the command runs.
namespace talvo {

// Collects a command's output, read straight into blocks that grow geometrically. Nothing is
// copied while the command runs; take() copies each block once into the result and gives its
// pages back right away, so the peak stays near the output's own size instead of the double that
// a single growing string reaches each time it reallocates.
class OutputBuffer {
  public:
    // Free room after what was committed so far, never empty; a new block when the last is full.
    std::span<char> spaceForMore();
    // Marks the first count bytes of the last spaceForMore() as written.
    void commit(std::size_t count);

    std::size_t size() const { return size_; }

    // Everything committed, in order, as one string; leaves the buffer empty.
    std::string take();

  private:
    std::vector<PageBlock> blocks_;
    std::size_t usedInLastBlock_ = 0;
    std::size_t size_ = 0;
};

} // namespace talvo
