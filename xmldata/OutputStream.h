#pragma once
// Byte sinks for the data document: the writer only ever appends runs of bytes.

#include <cstddef>
#include <string>

namespace vl {

class OutputStream {
public:
    virtual ~OutputStream() = default;
    // Appends size bytes; raises Exception when they cannot be taken.
    virtual void write(const char* data, std::size_t size) = 0;
    // A guess of how many bytes the whole output will hold, from what was written so far; a sink
    // that keeps the bytes may make room for them at once. Never required, never binding.
    virtual void expectTotal(std::size_t /*bytes*/) {}
};

// Keeps everything in memory; take() hands the bytes over and leaves the stream empty.
class MemoryOutputStream : public OutputStream {
public:
    void write(const char* data, std::size_t size) override { m_data.append(data, size); }
    // Room made once instead of the doublings that would copy a large document several times.
    // A fresh string takes exactly that room, where reserve on this one could double it.
    // Its pages are asked to be large ones (see adviseLargePages).
    void expectTotal(std::size_t bytes) override;
    const std::string& data() const { return m_data; }
    [[nodiscard]] std::string take() { return std::move(m_data); }

private:
    std::string m_data;
};

// Writes to an open file descriptor, not owned (standard output, or a file the caller opened).
// A failed write raises Exception "Cannot write to %s. %s" with the name and the system's text.
class FileOutputStream : public OutputStream {
public:
    FileOutputStream(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}
    void write(const char* data, std::size_t size) override;

private:
    int m_fd;
    std::string m_name;
};

} // namespace vl
