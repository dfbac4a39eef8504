#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// A command's output held in memory pages of its own while the command runs.
namespace talvo {

// Fresh memory pages taken straight from the system and handed straight back when the block
// goes away, so that freeing one really lowers the process's memory use: a large output can then
// be moved out of its blocks without ever being held twice.
class PageBlock {
  public:
    PageBlock() = default;
    // Throws std::bad_alloc when the system has no memory to give.
    explicit PageBlock(std::size_t size);
    ~PageBlock();

    PageBlock(PageBlock&& other) noexcept;
    PageBlock& operator=(PageBlock&& other) noexcept;
    PageBlock(const PageBlock&) = delete;
    PageBlock& operator=(const PageBlock&) = delete;

    char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Asks for memory that is about to be filled in bulk to be backed by large pages where the system
// has them, which spares most of the page faults. A hint only, limited to the whole pages inside
// [begin, begin + size); ranges too small for a large page are left alone.
void adviseLargePages(char* begin, std::size_t size);

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
