#pragma once

#include <cstddef>

namespace talvo::testing {

// How many bytes of output blocks may still be handed out; unlimited until set.
void setPageBudget(std::size_t bytes);

} // namespace talvo::testing
