#pragma once
// The process's peak resident memory, as Linux counts it in /proc/self.

#include <cstdio>
#include <fstream>
#include <string>

namespace vl::bench {

// Starts the peak count again from the memory resident now.
inline void resetPeakMemory()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Peak resident memory since the last reset, in bytes; 0 where the system does not tell.
inline double peakMemory()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) * 1024;
    return 0;
}

} // namespace vl::bench
