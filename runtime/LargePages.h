#pragma once
// Memory advice for large buffers, for the program, the tools and the viewer plug-in alike.

#include <cstddef>

namespace vl {

// Asks the system to back the not yet touched buffer [data, data + size) with large pages where it
// can: a fresh buffer of many megabytes otherwise costs a page fault every 4 KiB, which on a
// virtual machine takes longer than filling the page. Only the whole 2 MiB stretches inside the
// buffer are advised; a buffer that holds none is left alone. Never fails: without the system's
// support the buffer stays as it is.
void adviseLargePages(void* data, std::size_t size);

} // namespace vl
