#pragma once
// A write-only QIODevice over an OutputFile, for Qt's writers (QPdfWriter, QImageWriter) that take a
// device and not a file name.

#include "OutputFile.h"

#include <QIODevice>

#include <string>

namespace vl {

class OutputFileDevice : public QIODevice {
public:
    // The file is not owned and must be open; the device is open for writing when constructed.
    explicit OutputFileDevice(OutputFile& file);

    bool isSequential() const override { return true; }
    // The message of the first failed write, empty when every write succeeded. Qt's writers do not all
    // report a failed write of their device, so the caller asks here before it commits.
    const std::string& failure() const { return m_failure; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    OutputFile& m_file;
    std::string m_failure;
};

} // namespace vl
