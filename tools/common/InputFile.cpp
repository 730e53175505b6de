#include "InputFile.h"

#include "Exceptions.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl {
namespace {

std::string named(std::string_view what, const std::string& path)
{
    return std::string(what) + " \"" + path + "\"";
}

[[noreturn]] void refuseSize(std::string_view what, const std::string& path, std::size_t maxBytes)
{
    throw Exception(format("%s is larger than %zu bytes", named(what, path).c_str(), maxBytes));
}

void refuseKind(std::string_view what, const std::string& path, const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        throw Exception(named(what, path) + " is a folder");
}

} // namespace

std::string readInputFile(const std::string& path, std::string_view what, std::size_t maxBytes)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ELOOP)
            throw Exception(named(what, path) + " is a loop of symbolic links");
        throw Exception(format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errno)));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer {fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw Exception(format("Cannot read file \"%s\". %s", path.c_str(), std::strerror(errno)));
    refuseKind(what, path, info);
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > maxBytes)
        refuseSize(what, path, maxBytes);
    // Reads block from here on, as a reader of a pipe expects; a FIFO without a writer ends at once.
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    std::string text;
    if (S_ISREG(info.st_mode))
        text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw Exception(format("Cannot read file \"%s\". %s", path.c_str(), std::strerror(errno)));
        if (got == 0)
            break;
        if (const void* nul = std::memchr(buffer, 0, static_cast<std::size_t>(got)))
            throw Exception(format("%s holds a NUL byte at offset %zu; it is no text",
                                   named(what, path).c_str(), text.size() + (static_cast<const char*>(nul) - buffer)));
        if (static_cast<std::size_t>(got) > maxBytes - text.size())
            refuseSize(what, path, maxBytes);
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

void requireRegularFile(const std::string& path, std::string_view what, std::size_t maxBytes)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ELOOP)
            throw Exception(named(what, path) + " is a loop of symbolic links");
        return;
    }
    refuseKind(what, path, info);
    if (!S_ISREG(info.st_mode))
        throw Exception(named(what, path) + " is not a regular file (a device, FIFO or socket)");
    if (static_cast<std::size_t>(info.st_size) > maxBytes)
        refuseSize(what, path, maxBytes);
}

} // namespace vl
