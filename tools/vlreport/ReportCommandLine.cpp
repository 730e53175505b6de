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

ParsedCommandLine<VlreportOptions> parseVlreportCommandLine(const std::vector<std::string>& arguments)
{
    ParsedCommandLine<VlreportOptions> result;
    VlreportOptions& options = result.options;
    bool dpiGiven = false;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    ArgumentReader::readAll(arguments, options.data, result, [&](ArgumentReader& reader) {
        const std::string& arg = reader.argument();
        // Options that take one value and may be given once.
        std::optional<std::string>* single = arg == "--data" ? &options.dataFile
            : arg == "--sheet"                               ? &options.sheet
            : arg == "--pdf"                                 ? &options.pdfFile
            : arg == "--png"                                 ? &options.pngFolder
                                                             : nullptr;
        if (single)
            return reader.takeValueOnce(*single);
        if (arg == "--dpi") {
            std::string text;
            if (!reader.takeValueOnce(text, dpiGiven))
                return false;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.dpi);
            if (error != std::errc() || end != text.data() + text.size() || options.dpi < 24 || options.dpi > 1200)
                return reader.refuse("--dpi " + text + " is not a number from 24 to 1200");
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return reader.refuse("unknown option " + arg);
        } else if (!options.templateFile.empty()) {
            return reader.refuse("more than one template given: " + options.templateFile + " and " + arg);
        } else if (arg.empty()) {
            return reader.refuse("the template's file name is empty");
        } else {
            options.templateFile = arg;
        }
        return true;
    });
    if (!result.error.empty() || result.help || result.version)
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
