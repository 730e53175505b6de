#include "LargePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace vl {

void adviseLargePages(void* data, std::size_t size)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t LargePage = std::uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + LargePage - 1) & ~(LargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(LargePage - 1);
    if (size < LargePage || last <= first)
        return;
    // Advice only: a kernel without transparent huge pages refuses it, and nothing changes.
    static_cast<void>(madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
#else
    static_cast<void>(data);
    static_cast<void>(size);
#endif
}

} // namespace vl
