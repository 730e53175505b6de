#pragma once
// The data options of the command-line tools: the connection, the master query and the detail
// queries of a data document, read the same way by every tool that builds one.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vl {

struct DetailOption {
    std::string id;
    std::string sql;
    std::string relation;
    std::string fields;
};

// How the values of binary fields (BLOB, bytes, OLE objects) are written.
enum class BinaryValues {
    Raw, // their bytes, as the data document's rules write any text
    DataUri, // a data: URI of the picture they hold (OLE wrapper stripped), else of all their bytes
};

struct DataOptions {
    std::optional<std::string> connection; // none: the program's own connection string
    std::optional<std::string> masterSql; // none: the document has no master block
    std::string masterFields;
    std::vector<DetailOption> details;
    BinaryValues binary = BinaryValues::Raw;

    // True when a master or a detail query was given, i.e. there is something to read.
    bool hasQueries() const { return masterSql.has_value() || !details.empty(); }
};

// Reads data options one command-line argument at a time and remembers what was given, so that an
// option given twice for the same master or detail is refused.
class DataOptionParser {
public:
    enum class Outcome {
        NotDataOption, // the argument is none of ours; index is unchanged
        Taken, // index now points at the option's last value
        Failed, // error says why; options may hold a part of the option
    };

    explicit DataOptionParser(DataOptions& options) : m_options(options) {}

    Outcome parse(const std::vector<std::string>& arguments, std::size_t& index, std::string& error);

private:
    DataOptions& m_options;
    bool m_masterFieldsGiven = false;
    bool m_relationGiven = false;
    bool m_fieldsGiven = false;
    bool m_binaryGiven = false;
};

// The files the connection string names as its database ("Data Source", "DBQ"), so that no output
// overwrites them; none when the string cannot be read (opening it fails then anyway).
std::vector<std::string> databaseFiles(const DataOptions& options);

// The lines of a usage text that describe the data options, each ending in a line break.
extern const char* const DataOptionsHelp;

} // namespace vl
