#include "Platform.h"

#include <climits>
#include <ctime>
#include <sys/mman.h>
#include <unistd.h>

namespace vl {
namespace {
std::function<uint32_t()>& tickOverride()
{
    static std::function<uint32_t()> counter;
    return counter;
}
std::string& pathOverride()
{
    static std::string path;
    return path;
}
} // namespace

uint32_t tickCount()
{
    if (tickOverride())
        return tickOverride()();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void setTickCounter(std::function<uint32_t()> counter) { tickOverride() = std::move(counter); }

std::string programFilePath()
{
    if (!pathOverride().empty())
        return pathOverride();
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    // Not cut to a fixed length: a cut path would name another folder.
    return std::string(buffer, static_cast<size_t>(n));
}

void setProgramFilePath(std::string path) { pathOverride() = std::move(path); }

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
