#include "VldataRun.h"

#include "DataDocumentSource.h"
#include "OutputFile.h"
#include "OutputStream.h"
#include "VLDataSDK.h"

#include <csignal>
#include <unistd.h>

namespace vl {
namespace {

class OutputFileStream final : public OutputStream {
public:
    explicit OutputFileStream(OutputFile& file) : m_file(file) {}
    void write(const char* data, std::size_t size) override { m_file.write(data, size); }

private:
    OutputFile& m_file;
};

} // namespace

void runVldata(const VldataOptions& options)
{
    // A reader that goes away is a failed write (EPIPE) with a message, not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
    if (options.outputFile) {
        OutputFile file(*options.outputFile, databaseFiles(options));
        DataDocumentSource data(options);
        TXMLDataSource& source = data.source();
        source.SetEncoding(options.encoding);
        OutputFileStream stream(file);
        source.WriteXML(stream);
        file.commit();
    } else {
        DataDocumentSource data(options);
        TXMLDataSource& source = data.source();
        source.SetEncoding(options.encoding);
        // Held whole so that a failure leaves standard output untouched.
        const std::string document = source.GetXML();
        FileOutputStream stream(STDOUT_FILENO, "standard output");
        stream.write(document.data(), document.size());
    }
}

} // namespace vl
