#pragma once
// Platform services the program asks of the system, each replaceable by tests.

#include <cstddef>
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

// Asks the system to back the not yet touched buffer [data, data + size) with large pages where it
// can: a fresh buffer of many megabytes otherwise costs a page fault every 4 KiB, which on a
// virtual machine takes longer than filling the page. Only the whole 2 MiB stretches inside the
// buffer are advised; buffers smaller than one are left alone. Never fails: without the system's
// support the buffer stays as it is.
void adviseLargePages(void* data, std::size_t size);

} // namespace vl
