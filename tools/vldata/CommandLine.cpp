#include "CommandLine.h"

namespace vl {

const char* const VldataUsage
    = "usage: vldata [--connection TEXT] [--encoding NAME] [--master SQL [--master-fields LIST]]\n"
      "              [--detail ID SQL [--relation REL] [--fields LIST]]... [-o FILE]\n"
      "       vldata --help | --version\n"
      "\n"
      "Writes the data document of the master query and the detail queries.\n"
      "  --connection TEXT     connection string (default: the program's own, test.mdb here)\n"
      "  --encoding NAME       encoding name of the XML declaration (default: no declaration)\n"
      "  --master SQL          master query, data set ADODataSet1 (without it: no master block)\n"
      "  --master-fields LIST  fields of the master rows (default: all)\n"
      "  --detail ID SQL       a detail block ID over the query, data sets ADODataSet2, 3, ...\n"
      "  --relation REL        MasterField=DetailField pairs of the detail before it\n"
      "  --fields LIST         fields of the rows of the detail before it (default: all)\n"
      "  -o FILE               write the document to FILE instead of standard output\n";

ParsedCommandLine parseVldataCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine result;
    VldataOptions& options = result.options;
    bool relationGiven = false, fieldsGiven = false, encodingGiven = false, masterFieldsGiven = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](size_t count) { return i + count < arguments.size(); };
        auto missing = [&] { return fail("option " + arg + " needs a value"); };
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--connection") {
            if (!value(1))
                return missing();
            if (options.connection)
                return fail("--connection given twice");
            options.connection = arguments[++i];
        } else if (arg == "--encoding") {
            if (!value(1))
                return missing();
            if (encodingGiven)
                return fail("--encoding given twice");
            encodingGiven = true;
            options.encoding = arguments[++i];
        } else if (arg == "--master") {
            if (!value(1))
                return missing();
            if (options.masterSql)
                return fail("--master given twice");
            options.masterSql = arguments[++i];
        } else if (arg == "--master-fields") {
            if (!value(1))
                return missing();
            if (!options.masterSql)
                return fail("--master-fields without --master before it");
            if (masterFieldsGiven)
                return fail("--master-fields given twice");
            masterFieldsGiven = true;
            options.masterFields = arguments[++i];
        } else if (arg == "--detail") {
            if (!value(2))
                return fail("option --detail needs an ID and a query");
            options.details.push_back(DetailOption { arguments[i + 1], arguments[i + 2], {}, {} });
            relationGiven = fieldsGiven = false;
            i += 2;
        } else if (arg == "--relation" || arg == "--fields") {
            if (!value(1))
                return missing();
            if (options.details.empty())
                return fail(arg + " without --detail before it");
            bool& given = arg == "--relation" ? relationGiven : fieldsGiven;
            if (given)
                return fail(arg + " given twice for one detail");
            given = true;
            (arg == "--relation" ? options.details.back().relation : options.details.back().fields) = arguments[++i];
        } else if (arg == "-o") {
            if (!value(1))
                return missing();
            if (options.outputFile)
                return fail("-o given twice");
            options.outputFile = arguments[++i];
        } else {
            return fail("unknown argument " + arg);
        }
    }
    return result;
}

} // namespace vl
