#include "CommandLine.h"

namespace vl {

// DataOptionsHelp is constant-initialised, so it is ready before this is built.
const std::string VldataUsage
    = std::string("usage: vldata [--connection TEXT] [--encoding NAME] [--master SQL [--master-fields LIST]]\n"
                  "              [--detail ID SQL [--relation REL] [--fields LIST]]... [-o FILE]\n"
                  "       vldata --help | --version\n"
                  "\n"
                  "Writes the data document of the master query and the detail queries.\n")
      + DataOptionsHelp
      + "  --encoding NAME       encoding name of the XML declaration (default: no declaration)\n"
        "  -o FILE               write the document to FILE instead of standard output\n";

ParsedCommandLine parseVldataCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine result;
    VldataOptions& options = result.options;
    DataOptionParser dataOptions(options);
    bool encodingGiven = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        switch (dataOptions.parse(arguments, i, result.error)) {
        case DataOptionParser::Outcome::Taken:
            continue;
        case DataOptionParser::Outcome::Failed:
            return result;
        case DataOptionParser::Outcome::NotDataOption:
            break;
        }
        const std::string& arg = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--encoding") {
            if (!hasValue)
                return fail("option " + arg + " needs a value");
            if (encodingGiven)
                return fail("--encoding given twice");
            encodingGiven = true;
            options.encoding = arguments[++i];
        } else if (arg == "-o") {
            if (!hasValue)
                return fail("option " + arg + " needs a value");
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
