#pragma once

#include <cstddef>

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

} // namespace talvo
