#include "Platform.h"

#include <climits>
#include <ctime>
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

} // namespace vl
