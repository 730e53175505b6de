// The file-database provider opening a file it did not write: the input is written as the database
// file, opened through a connection and data sets as the program opens its own, and every value of
// every table is read as text. Refusals of the program's exception hierarchy are expected. The seeds
// hold SQLite files and a Jet 4 file (the program's sample), so both readers are reached.

#include "ADODB.h"
#include "Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// One file per process, rewritten for each input; its folder goes at exit.
class ScratchFile {
public:
    ScratchFile()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vl-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
        m_path = m_folder + "/fuzz.mdb";
    }
    ~ScratchFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_folder;
    std::string m_path;
};

const std::string& databasePath()
{
    static const ScratchFile file;
    return file.path();
}

void readAll(TDataSet& dataSet)
{
    dataSet.Open();
    for (int rows = 0; !dataSet.AtEnd() && rows < 1000; ++rows) {
        for (int i = 0; i < dataSet.FieldCount(); ++i) {
            TField* field = dataSet.FieldAt(i);
            (void)field->ValueText();
            (void)field->IsNull();
        }
        dataSet.Next();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(databasePath().c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();

    TComponent owner(nullptr);
    auto* connection = new TADOConnection(&owner);
    connection->SetName("ADOConnection1");
    connection->SetLoginPrompt(false);
    connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + databasePath());

    std::vector<std::string> tables;
    try {
        auto* catalog = new TADODataSet(&owner);
        catalog->SetName("ADODataSet1");
        catalog->SetConnection(connection);
        catalog->SetCursorType(ctStatic);
        catalog->SetCommandText("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')");
        readAll(*catalog);
        for (catalog->First(); !catalog->AtEnd() && tables.size() < 8; catalog->Next())
            tables.push_back(catalog->FieldAt(0)->ValueText());
    } catch (const Exception&) {
        // A Jet file has no SQLite catalog; its reader is reached through the program's own tables.
        tables = {"Bas_Department", "Bas_Employee"};
    }
    for (const std::string& table : tables) {
        try {
            auto* dataSet = new TADODataSet(&owner);
            dataSet->SetConnection(connection);
            dataSet->SetCursorType(ctStatic);
            std::string quoted;
            for (char c : table)
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            dataSet->SetCommandText("SELECT * FROM \"" + quoted + "\"");
            readAll(*dataSet);
        } catch (const Exception&) {
        }
    }
    return 0;
}
