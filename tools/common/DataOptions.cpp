#include "DataOptions.h"

#include "Provider.h"
#include "SampleComponents.h"

namespace vl {

const char* const DataOptionsHelp
    = "  --connection TEXT     connection string (default: the program's own, test.mdb here)\n"
      "  --master SQL          master query, data set ADODataSet1 (without it: no master block)\n"
      "  --master-fields LIST  fields of the master rows (default: all)\n"
      "  --detail ID SQL       a detail block ID over the query, data sets ADODataSet2, 3, ...\n"
      "  --relation REL        MasterField=DetailField pairs of the detail before it\n"
      "  --fields LIST         fields of the rows of the detail before it (default: all)\n"
      "  --binary MODE         binary fields (BLOB, bytes, OLE objects): raw (default) writes their\n"
      "                        bytes; data-uri a data: URI of the picture they hold, for <image src>\n";

DataOptionParser::Outcome DataOptionParser::parse(const std::vector<std::string>& arguments, std::size_t& index,
                                                  std::string& error)
{
    const std::string& arg = arguments[index];
    const auto hasValues = [&](std::size_t count) { return index + count < arguments.size(); };
    const auto fail = [&](std::string message) {
        error = std::move(message);
        return Outcome::Failed;
    };
    const auto missing = [&] { return fail("option " + arg + " needs a value"); };

    if (arg == "--connection" || arg == "--master") {
        if (!hasValues(1))
            return missing();
        std::optional<std::string>& value = arg == "--connection" ? m_options.connection : m_options.masterSql;
        if (value)
            return fail(arg + " given twice");
        value = arguments[++index];
    } else if (arg == "--master-fields") {
        if (!hasValues(1))
            return missing();
        if (!m_options.masterSql)
            return fail("--master-fields without --master before it");
        if (m_masterFieldsGiven)
            return fail("--master-fields given twice");
        m_masterFieldsGiven = true;
        m_options.masterFields = arguments[++index];
    } else if (arg == "--detail") {
        if (!hasValues(2))
            return fail("option --detail needs an ID and a query");
        m_options.details.push_back(DetailOption {arguments[index + 1], arguments[index + 2], {}, {}});
        m_relationGiven = m_fieldsGiven = false;
        index += 2;
    } else if (arg == "--relation" || arg == "--fields") {
        if (!hasValues(1))
            return missing();
        if (m_options.details.empty())
            return fail(arg + " without --detail before it");
        const bool relation = arg == "--relation";
        bool& given = relation ? m_relationGiven : m_fieldsGiven;
        if (given)
            return fail(arg + " given twice for one detail");
        given = true;
        (relation ? m_options.details.back().relation : m_options.details.back().fields) = arguments[++index];
    } else if (arg == "--binary") {
        if (!hasValues(1))
            return missing();
        if (m_binaryGiven)
            return fail("--binary given twice");
        m_binaryGiven = true;
        const std::string& mode = arguments[++index];
        if (mode == "raw")
            m_options.binary = BinaryValues::Raw;
        else if (mode == "data-uri")
            m_options.binary = BinaryValues::DataUri;
        else
            return fail("--binary takes raw or data-uri, not \"" + mode + "\"");
    } else {
        return Outcome::NotDataOption;
    }
    return Outcome::Taken;
}

std::vector<std::string> databaseFiles(const DataOptions& options)
{
    const ConnectionStringParseResult parsed
        = parseConnectionString(options.connection ? *options.connection : std::string(SampleConnectionString));
    std::vector<std::string> files;
    if (!parsed)
        return files;
    for (const char* name : {"Data Source", "DBQ"}) {
        if (std::optional<std::string> value = connectionItem(parsed.items, name))
            files.push_back(std::move(*value));
    }
    return files;
}

} // namespace vl
