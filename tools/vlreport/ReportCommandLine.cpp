#include "ReportCommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vl {

const std::string VlreportUsage
    = std::string("usage: vlreport TEMPLATE (--data FILE | DATA OPTIONS) [--sheet NAME]\n"
                  "                [--param NAME=VALUE]... (--pdf FILE | --png FOLDER [--dpi N])\n"
                  "                [--stats]\n"
                  "       vlreport --help | --version\n"
                  "\n"
                  "Lays a sheet of the template out over the data as the report viewer does and writes\n"
                  "its pages to a PDF file or to one PNG image per page.\n"
                  "  --data FILE           the data document, as vldata writes it\n"
                  "data options, as vldata takes them:\n")
      + DataOptionsHelp
      + "output:\n"
        "  --sheet NAME          the sheet to print (default: the template's first)\n"
        "  --param NAME=VALUE    a parameter the template declares, as text of its type (a number\n"
        "                        as 1234.5, a date as yyyy-MM-dd); repeatable, the last for a name wins\n"
        "  --pdf FILE            write the pages as a PDF file with embedded fonts\n"
        "  --png FOLDER          write page-001.png, page-002.png, ... into FOLDER\n"
        "  --dpi N               resolution of the PNG pages, 24 to 1200 (default: 96)\n"
        "  --stats               print pages, rows and milliseconds of loading, layout, output\n";

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

void setParameter(std::vector<std::pair<std::string, std::string>>& parameters, std::string name, std::string value)
{
    for (auto& [known, knownValue] : parameters)
        if (sameName(known, name)) {
            known = std::move(name);
            knownValue = std::move(value);
            return;
        }
    parameters.emplace_back(std::move(name), std::move(value));
}

} // namespace

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
        } else if (arg == "--param") {
            std::string text;
            bool given = false; // repeatable
            if (!reader.takeValueOnce(text, given))
                return false;
            const std::size_t equals = text.find('=');
            if (equals == std::string::npos || equals == 0)
                return reader.refuse("--param " + text + " is not NAME=VALUE");
            setParameter(options.parameters, text.substr(0, equals), text.substr(equals + 1));
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
