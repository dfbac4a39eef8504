#include "platform/PageBlock.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace talvo {

void adviseLargePages(char* begin, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePageSize = 2 * 1024 * 1024;
    if (size < kLargePageSize) {
        return;
    }
    const std::uintptr_t pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first =
        (reinterpret_cast<std::uintptr_t>(begin) + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(pageSize - 1);
    if (end > first) {
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
#else
    (void)begin;
    (void)size;
#endif
}

PageBlock::PageBlock(std::size_t size) {
    void* const pages =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
        throw std::bad_alloc();
    }
    data_ = static_cast<char*>(pages);
    size_ = size;
    adviseLargePages(data_, size_);
}

PageBlock::~PageBlock() {
    if (data_ != nullptr) {
        ::munmap(data_, size_);
    }
}

PageBlock::PageBlock(PageBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageBlock& PageBlock::operator=(PageBlock&& other) noexcept {
    PageBlock old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    return *this;
}

} // namespace talvo
