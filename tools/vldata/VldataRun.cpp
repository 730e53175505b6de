#include "VldataRun.h"

#include "ADODB.h"
#include "Exceptions.h"
#include "SampleComponents.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
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
    TComponent owner(nullptr);
    TADOConnection* connection = nullptr;
    TADODataSet* master = nullptr;
    TDataSource* dataSource = nullptr;
    TADODataSet* firstDetail = nullptr;
    loadSampleDataComponents(&owner, connection, master, dataSource, firstDetail);
    if (options.connection)
        connection->SetConnectionString(*options.connection);

    std::vector<TADODataSet*> details;
    for (size_t i = 0; i < options.details.size(); ++i) {
        TADODataSet* dataSet = firstDetail;
        if (i > 0) {
            dataSet = new TADODataSet(&owner);
            dataSet->SetName(format("ADODataSet%zu", i + 2));
            dataSet->SetConnection(connection);
            dataSet->SetCursorType(ctStatic);
        }
        dataSet->SetCommandText(options.details[i].sql);
        details.push_back(dataSet);
    }

    connection->Open();
    if (options.masterSql) {
        master->SetCommandText(*options.masterSql);
        master->Open();
    }
    for (TADODataSet* dataSet : details)
        dataSet->Open();

    auto* source = TXMLDataSource::Create(&owner);
    source->SetEncoding(options.encoding);
    source->SetMaster(options.masterSql ? master : nullptr, options.masterFields);
    for (size_t i = 0; i < options.details.size(); ++i) {
        const DetailOption& detail = options.details[i];
        source->AddDetail(detail.id, details[i], detail.relation, detail.fields);
    }

    if (options.outputFile) {
        OutputFile file(*options.outputFile);
        FileOutputStream stream(file.fd(), *options.outputFile);
        source->WriteXML(stream);
        file.commit();
    } else {
        // Held whole so that a failure leaves standard output untouched.
        const std::string document = source->GetXML();
        FileOutputStream stream(STDOUT_FILENO, "standard output");
        stream.write(document.data(), document.size());
    }
}

} // namespace vl
