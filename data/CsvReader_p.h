#pragma once
// Records of a delimited text file, read one at a time from a buffer of the file: RFC 4180 quoting
// (a doubled quote inside quotes stands for one, quoted values may hold delimiters and line breaks),
// CRLF, LF or CR line ends, a UTF-8 byte-order mark skipped. Private to the data layer.

#include <cstddef>
#include <string>
#include <vector>

namespace vl
{

// What one record may hold; beyond it the reader refuses the record instead of growing.
struct TextLimits {
    std::size_t maxRecordBytes = 1 << 20; // one record with its quotes and line breaks
    std::size_t maxFields = 255;
    // The records one scan keeps to answer equalities on a column without reading the file again;
    // beyond it the scan reads the file for each equality instead.
    std::size_t maxLookupBytes = std::size_t(64) << 20;
};

// Why the reader stopped, and where: line and column (of bytes) count from 1.
struct CsvFault {
    std::string message;
    std::size_t line = 0;
    std::size_t column = 0;
};

class CsvReader
{
public:
    enum class Status { Record, End, Fault };

    // Opens path for reading without waiting (a FIFO or device is refused, as is anything but a
    // regular file). Check fault() when open() is false.
    CsvReader(char delimiter, TextLimits limits);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    bool open(const std::string& path);
    // The next record's fields, as they stand in the file (not yet converted from its code page).
    // Lines that hold nothing are skipped. On Fault, fault() says why; the reader stays there.
    Status next(std::vector<std::string>& fields);

    bool startedWithByteOrderMark() const { return m_byteOrderMark; }
    // Line on which the record last returned begins.
    std::size_t recordLine() const { return m_recordLine; }
    const CsvFault& fault() const { return m_fault; }

private:
    int get();
    int peek();
    bool fill();
    Status refuse(std::string message, std::size_t line, std::size_t column);

    char m_delimiter;
    TextLimits m_limits;
    int m_descriptor = -1;
    std::vector<char> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
    bool m_byteOrderMark = false;
    std::size_t m_line = 1;
    std::size_t m_column = 1;
    std::size_t m_recordLine = 0;
    CsvFault m_fault;
};

} // namespace vl
