#include "CommandLine.h"

namespace vl {

// DataOptionsHelp is constant-initialised, so it is ready before this is built.
const std::string VldataUsage
    = std::string("usage: vldata [--connection TEXT] [--encoding NAME] [--master SQL [--master-fields LIST]]\n"
                  "              [--detail ID SQL [--relation REL] [--fields LIST]]... [--binary MODE]\n"
                  "              [-o FILE]\n"
                  "       vldata --help | --version\n"
                  "\n"
                  "Writes the data document of the master query and the detail queries.\n")
      + DataOptionsHelp
      + "  --encoding NAME       encoding name of the XML declaration (default: no declaration)\n"
        "  -o FILE               write the document to FILE instead of standard output\n";

ParsedCommandLine<VldataOptions> parseVldataCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine<VldataOptions> result;
    VldataOptions& options = result.options;
    bool encodingGiven = false;
    ArgumentReader::readAll(arguments, options, result, [&](ArgumentReader& reader) {
        const std::string& arg = reader.argument();
        if (arg == "--encoding")
            return reader.takeValueOnce(options.encoding, encodingGiven);
        if (arg == "-o")
            return reader.takeValueOnce(options.outputFile);
        return reader.refuse("unknown argument " + arg);
    });
    return result;
}

} // namespace vl
