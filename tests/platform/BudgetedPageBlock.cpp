// Pages from a budget the test sets, standing in for the system's when linked ahead of the
// product's copy: when it is spent, a new block fails as the system's would with no memory left.
#include "platform/OutputBuffer.h"
#include "tests/platform/PageBudget.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace talvo {

namespace {

std::size_t pagesLeft = static_cast<std::size_t>(-1);

} // namespace

void testing::setPageBudget(std::size_t bytes) {
    pagesLeft = bytes;
}

void adviseLargePages(char*, std::size_t) {}

PageBlock::PageBlock(std::size_t size) {
    if (size > pagesLeft) {
        throw std::bad_alloc();
    }
    data_ = static_cast<char*>(std::malloc(size));
    if (data_ == nullptr) {
        throw std::bad_alloc();
    }
    pagesLeft -= size;
    size_ = size;
}

PageBlock::~PageBlock() {
    std::free(data_);
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
