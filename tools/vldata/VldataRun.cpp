#include "VldataRun.h"

#include "DataDocumentSource.h"
#include "Exceptions.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl {
namespace {

// Removes the file unless the document was completed.
class OutputFile {
public:
    explicit OutputFile(const std::string& path) : m_path(path)
    {
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0)
            throw Exception(format("Cannot create file \"%s\". %s", path.c_str(), std::strerror(errno)));
        struct stat info {};
        // A device or pipe named as the file is written to, never removed.
        m_removable = ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    }
    ~OutputFile()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            if (m_removable)
                ::unlink(m_path.c_str());
        }
    }
    int fd() const { return m_fd; }
    void commit()
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            const int error = errno;
            if (m_removable)
                ::unlink(m_path.c_str());
            throw Exception(format("Cannot write to %s. %s", m_path.c_str(), std::strerror(error)));
        }
    }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_removable = false;
};

} // namespace

void runVldata(const VldataOptions& options)
{
    DataDocumentSource data(options);
    TXMLDataSource& source = data.source();
    source.SetEncoding(options.encoding);

    if (options.outputFile) {
        OutputFile file(*options.outputFile);
        FileOutputStream stream(file.fd(), *options.outputFile);
        source.WriteXML(stream);
        file.commit();
    } else {
        // Held whole so that a failure leaves standard output untouched.
        const std::string document = source.GetXML();
        FileOutputStream stream(STDOUT_FILENO, "standard output");
        stream.write(document.data(), document.size());
    }
}

} // namespace vl
