#pragma once
// Files the tools read whole (a data document, a template): never a wait at open, never more bytes
// than a limit, so that a FIFO or a device named on the command line cannot hang or exhaust a run.

#include <cstddef>
#include <string>
#include <string_view>

namespace vl {

// Reads the whole file: a regular file, or a stream (a pipe such as /dev/stdin, a FIFO, a device) to
// its end. A FIFO that no one writes reads as empty. Raises Exception naming the file as `what` (e.g.
// "Data file") when it cannot be opened or read, is a folder, holds more than maxBytes or holds a NUL
// byte, which no text in the locale's code page does (so /dev/zero is refused at its first byte).
std::string readInputFile(const std::string& path, std::string_view what, std::size_t maxBytes);

// For a file read by another reader: raises Exception unless the path names a regular file of at
// most maxBytes. A path that does not exist passes; the reader names it as missing.
void requireRegularFile(const std::string& path, std::string_view what, std::size_t maxBytes);

} // namespace vl
