#include "CsvReader_p.h"

#include "Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vl
{

namespace
{
constexpr std::size_t chunkSize = 64 * 1024;
}

CsvReader::CsvReader(char delimiter, TextLimits limits)
    : m_delimiter(delimiter)
    , m_limits(limits)
{
}

CsvReader::~CsvReader()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool CsvReader::open(const std::string& path)
{
    struct stat info {
    };
    // Looked at first: opening a FIFO for reading would wait for a writer.
    if (::stat(path.c_str(), &info) != 0) {
        m_fault = { std::strerror(errno), 0, 0 };
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        m_fault = { S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file", 0, 0 };
        return false;
    }
    m_descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_descriptor < 0 || ::fstat(m_descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_fault = { m_descriptor < 0 ? std::strerror(errno) : "it is not a regular file", 0, 0 };
        return false;
    }
    m_buffer.resize(chunkSize);
    if (!fill())
        return m_fault.message.empty();
    if (m_end - m_position >= 3 && std::memcmp(m_buffer.data() + m_position, "\xEF\xBB\xBF", 3) == 0) {
        m_byteOrderMark = true;
        m_position += 3;
    }
    return true;
}

bool CsvReader::fill()
{
    if (m_atEnd)
        return false;
    m_position = 0;
    m_end = 0;
    for (;;) {
        const ssize_t n = ::read(m_descriptor, m_buffer.data(), m_buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_fault = { format("cannot read the file: %s", std::strerror(errno)), m_line, m_column };
            m_atEnd = true;
            return false;
        }
        if (n == 0) {
            m_atEnd = true;
            return false;
        }
        m_end = static_cast<std::size_t>(n);
        return true;
    }
}

int CsvReader::peek()
{
    if (m_position == m_end && !fill())
        return -1;
    return static_cast<unsigned char>(m_buffer[m_position]);
}

int CsvReader::get()
{
    const int c = peek();
    if (c < 0)
        return c;
    ++m_position;
    if (c == '\n' || (c == '\r' && peek() != '\n')) {
        ++m_line;
        m_column = 1;
    } else {
        ++m_column;
    }
    return c;
}

CsvReader::Status CsvReader::refuse(std::string message, std::size_t line, std::size_t column)
{
    m_fault = { std::move(message), line, column };
    return Status::Fault;
}

CsvReader::Status CsvReader::next(std::vector<std::string>& fields)
{
    if (!m_fault.message.empty())
        return Status::Fault;
    fields.clear();
    for (;;) {
        const int c = peek();
        if (c < 0)
            return m_fault.message.empty() ? Status::End : Status::Fault;
        if (c != '\n' && c != '\r')
            break;
        get();
    }
    m_recordLine = m_line;
    std::size_t bytes = 0;
    auto tooLong = [&] {
        return refuse(format("the record is longer than %zu bytes", m_limits.maxRecordBytes), m_recordLine, 1);
    };
    for (;;) {
        if (fields.size() == m_limits.maxFields)
            return refuse(format("the record has more than %zu fields", m_limits.maxFields), m_line, m_column);
        std::string& field = fields.emplace_back();
        if (peek() == '"') {
            const std::size_t quoteLine = m_line, quoteColumn = m_column;
            get();
            for (;;) {
                const int c = get();
                if (c < 0)
                    return m_fault.message.empty()
                        ? refuse("the file ends inside the quoted value that begins here", quoteLine, quoteColumn)
                        : Status::Fault;
                if (++bytes > m_limits.maxRecordBytes)
                    return tooLong();
                if (c == '"') {
                    if (peek() != '"')
                        break;
                    get();
                }
                field += static_cast<char>(c);
            }
        }
        // An unquoted value, or what follows a closing quote before the delimiter: kept as it stands.
        for (;;) {
            if (m_position == m_end && !fill())
                break;
            // Runs of ordinary bytes are taken from the buffer at once; they hold no line end.
            std::size_t stop = m_position;
            while (stop < m_end) {
                const char c = m_buffer[stop];
                if (c == m_delimiter || c == '\n' || c == '\r')
                    break;
                ++stop;
            }
            const std::size_t run = stop - m_position;
            bytes += run;
            if (bytes > m_limits.maxRecordBytes)
                return tooLong();
            field.append(m_buffer.data() + m_position, run);
            m_position = stop;
            m_column += run;
            if (stop < m_end)
                break;
        }
        const int c = get();
        if (c == m_delimiter) {
            ++bytes;
            continue;
        }
        if (c == '\r' && peek() == '\n')
            get();
        if (c < 0 && !m_fault.message.empty())
            return Status::Fault;
        return Status::Record;
    }
}

} // namespace vl
