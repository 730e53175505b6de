#include "ReportCommandLine.h"

#include <charconv>

namespace vl {

const std::string VlreportUsage
    = std::string("usage: vlreport TEMPLATE (--data FILE | DATA OPTIONS) [--sheet NAME]\n"
                  "                (--pdf FILE | --png FOLDER [--dpi N]) [--stats]\n"
                  "       vlreport --help | --version\n"
                  "\n"
                  "Lays a sheet of the template out over the data as the report viewer does and writes\n"
                  "its pages to a PDF file or to one PNG image per page.\n"
                  "  --data FILE           the data document, as vldata writes it\n"
                  "data options, as vldata takes them:\n")
      + DataOptionsHelp
      + "output:\n"
        "  --sheet NAME          the sheet to print (default: the template's first)\n"
        "  --pdf FILE            write the pages as a PDF file with embedded fonts\n"
        "  --png FOLDER          write page-001.png, page-002.png, ... into FOLDER\n"
        "  --dpi N               resolution of the PNG pages, 24 to 1200 (default: 96)\n"
        "  --stats               print pages, rows and milliseconds of loading, layout, output\n";

ParsedReportCommandLine parseVlreportCommandLine(const std::vector<std::string>& arguments)
{
    ParsedReportCommandLine result;
    VlreportOptions& options = result.options;
    DataOptionParser dataOptions(options.data);
    bool dpiGiven = false;
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
        // Options that take one value and may be given once.
        std::optional<std::string>* single = arg == "--data" ? &options.dataFile
            : arg == "--sheet"                               ? &options.sheet
            : arg == "--pdf"                                 ? &options.pdfFile
            : arg == "--png"                                 ? &options.pngFolder
                                                             : nullptr;
        if (single) {
            if (!hasValue)
                return fail("option " + arg + " needs a value");
            if (single->has_value())
                return fail(arg + " given twice");
            *single = arguments[++i];
        } else if (arg == "--dpi") {
            if (!hasValue)
                return fail("option --dpi needs a value");
            if (dpiGiven)
                return fail("--dpi given twice");
            dpiGiven = true;
            const std::string& text = arguments[++i];
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.dpi);
            if (error != std::errc() || end != text.data() + text.size() || options.dpi < 24 || options.dpi > 1200)
                return fail("--dpi " + text + " is not a number from 24 to 1200");
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option " + arg);
        } else if (!options.templateFile.empty()) {
            return fail("more than one template given: " + options.templateFile + " and " + arg);
        } else if (arg.empty()) {
            return fail("the template's file name is empty");
        } else {
            options.templateFile = arg;
        }
    }
    if (options.help || options.version)
        return result;
    if (options.templateFile.empty())
        return fail("no template given");
    const bool dataOptionsGiven = options.data.hasQueries() || options.data.connection;
    if (options.dataFile && dataOptionsGiven)
        return fail("--data and data options given together");
    if (!options.dataFile && !options.data.hasQueries())
        return fail("no data: give --data FILE or --master/--detail queries");
    if (options.pdfFile.has_value() == options.pngFolder.has_value())
        return fail(options.pdfFile ? "--pdf and --png given together" : "no output: give --pdf FILE or --png FOLDER");
    if (dpiGiven && !options.pngFolder)
        return fail("--dpi without --png");
    return result;
}

} // namespace vl
