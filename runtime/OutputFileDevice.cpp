#include "OutputFileDevice.h"

#include <exception>

namespace vl {

OutputFileDevice::OutputFileDevice(OutputFile& file) : m_file(file)
{
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 OutputFileDevice::readData(char*, qint64)
{
    return -1;
}

qint64 OutputFileDevice::writeData(const char* data, qint64 size)
{
    if (!m_failure.empty())
        return -1;
    try {
        m_file.write(data, static_cast<std::size_t>(size));
        return size;
    } catch (const std::exception& error) {
        m_failure = error.what();
        setErrorString(QString::fromLocal8Bit(m_failure.c_str()));
        return -1;
    }
}

} // namespace vl
