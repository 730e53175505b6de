// A folder of text files opened through the Jet text convention: the input is split at its first
// line "--schema--" into a data file and the folder's schema.ini, and read through a connection as
// the program reads its own databases: every row of the file, then a join of the file with itself on
// its first column (the look-up path), then a group. Refusals of the program's exception hierarchy are
// expected; nothing else may happen.

#include "ADODB.h"
#include "Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vl-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    const std::string& path() const { return m_folder; }

private:
    std::string m_folder;
};

const std::string& folder()
{
    static const ScratchFolder scratch;
    return scratch.path();
}

void write(const std::string& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
        std::abort();
}

void run(TComponent& owner, TADOConnection& connection, const std::string& command)
{
    try {
        auto* dataSet = new TADODataSet(&owner);
        dataSet->SetConnection(&connection);
        dataSet->SetCursorType(ctStatic);
        dataSet->SetCommandText(command);
        dataSet->Open();
        for (int rows = 0; !dataSet->AtEnd() && rows < 1000; ++rows) {
            for (int i = 0; i < dataSet->FieldCount(); ++i) {
                (void)dataSet->FieldAt(i)->ValueText();
                (void)dataSet->FieldAt(i)->IsNull();
            }
            dataSet->Next();
        }
    } catch (const Exception&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find("--schema--\n");
    const std::string_view csv = input.substr(0, split);
    const std::string_view schema = split == std::string_view::npos ? std::string_view() : input.substr(split + 11);
    write(folder() + "/a.csv", csv);
    if (schema.empty())
        std::filesystem::remove(folder() + "/schema.ini");
    else
        write(folder() + "/schema.ini", schema);

    TComponent owner(nullptr);
    auto* connection = new TADOConnection(&owner);
    connection->SetName("ADOConnection1");
    connection->SetLoginPrompt(false);
    // The header line's names are the input's own; without one the columns are F1, F2, ...
    const bool header = !csv.empty() && (csv.front() & 1);
    connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder()
                                    + ";Extended Properties=\"text;HDR=" + (header ? "Yes" : "No") + ";FMT=Delimited\"");
    run(owner, *connection, "select * from [a.csv]");
    if (!header) {
        run(owner, *connection, "select count(*) from [a.csv] x join [a.csv] y on x.F1 = y.F1");
        run(owner, *connection, "select F1, count(*), sum(F2) from [a.csv] group by F1 order by 2 desc");
    }
    return 0;
}
