#include "OutputStream.h"

#include "Exceptions.h"
#include "LargePages.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vl {

void MemoryOutputStream::expectTotal(std::size_t bytes)
{
    if (bytes <= m_data.capacity())
        return;
    std::string room;
    room.reserve(bytes);
    adviseLargePages(room.data(), room.capacity());
    room.append(m_data);
    m_data.swap(room);
}

void FileOutputStream::write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw Exception(format("Cannot write to %s. %s", m_name.c_str(), std::strerror(errno)));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

} // namespace vl
