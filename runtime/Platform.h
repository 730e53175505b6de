#pragma once
// Platform services the program asks of the system, each replaceable by tests.

#include <cstdint>
#include <functional>
#include <string>

namespace vl {

// Milliseconds since the system started, as an unsigned 32-bit count that wraps to 0.
uint32_t tickCount();
void setTickCounter(std::function<uint32_t()> counter); // empty restores the system's

// Full path of the running program file, as the system reports it.
std::string programFilePath();
void setProgramFilePath(std::string path); // empty restores the system's

} // namespace vl
