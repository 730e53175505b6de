#include "LargePages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/mman.h>

namespace {

constexpr std::size_t LargePage = std::size_t(2) << 20;

// The VmFlags line of the mapping that holds address, from /proc/self/smaps; empty when none does.
std::string vmFlagsAt(const void* address)
{
    const auto wanted = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t begin = 0, end = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> begin >> dash >> end && dash == '-' && line.find(':') > line.find(' ')) {
            inside = begin <= wanted && wanted < end;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}

bool systemTakesAdvice()
{
    void* probe = mmap(nullptr, 2 * LargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (probe == MAP_FAILED)
        return false;
    const bool taken = madvise(probe, 2 * LargePage, MADV_HUGEPAGE) == 0;
    munmap(probe, 2 * LargePage);
    return taken;
}

// Only whole large pages inside the buffer are advised: the advice must reach the buffer's middle
// and never the memory just before or after it, which may belong to something else.
TEST(LargePages, OnlyTheWholeLargePagesInsideTheBufferAreAdvised)
{
    if (!systemTakesAdvice())
        GTEST_SKIP() << "this kernel has no transparent huge pages";
    const std::size_t mapped = 8 * LargePage;
    auto* base = static_cast<char*>(mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    const auto aligned = (reinterpret_cast<std::uintptr_t>(base) + LargePage - 1) & ~(LargePage - 1);
    char* start = reinterpret_cast<char*>(aligned) + 4096; // not on a large page's start
    const std::size_t size = 4 * LargePage;
    ASSERT_LE(start + size + LargePage, base + mapped);

    vl::adviseLargePages(start, size);
    EXPECT_NE(vmFlagsAt(start + LargePage).find(" hg"), std::string::npos) << vmFlagsAt(start + LargePage);
    EXPECT_NE(vmFlagsAt(start + size - LargePage).find(" hg"), std::string::npos);
    EXPECT_EQ(vmFlagsAt(start).find(" hg"), std::string::npos) << "the partial page at the start";
    EXPECT_EQ(vmFlagsAt(start + size).find(" hg"), std::string::npos) << "the memory after the buffer";

    // A buffer that holds no whole large page is left alone; so is a null one.
    char* small = reinterpret_cast<char*>(aligned) + 5 * LargePage + 4096;
    vl::adviseLargePages(small, LargePage);
    EXPECT_EQ(vmFlagsAt(small).find(" hg"), std::string::npos);
    vl::adviseLargePages(nullptr, 0);

    std::memset(start, 'x', size); // the advised memory is ordinary memory
    EXPECT_EQ(start[size - 1], 'x');
    munmap(base, mapped);
}

} // namespace
