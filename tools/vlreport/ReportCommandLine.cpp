#include "ReportCommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vl {

const std::string VlreportUsage
    = std::string("usage: vlreport TEMPLATE (--data FILE | DATA OPTIONS) [--sheet NAME]\n"
                  "                [--param NAME=VALUE]... OUTPUT [--stats]\n"
                  "  OUTPUT: --pdf FILE | --png FOLDER [--dpi N] | --xlsx FILE | --csv FILE [--detail-id ID]\n"
                  "          | --html FILE | --svg FOLDER | --text FILE\n"
                  "       vlreport --help | --version\n"
                  "\n"
                  "Lays a sheet of the template out over the data as the report viewer does and writes\n"
                  "its pages to a PDF file, PNG or SVG pages, a spreadsheet, CSV, HTML or plain text.\n"
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
        "  --xlsx FILE           write the sheet as a spreadsheet: typed cells, formats, pictures\n"
        "  --csv FILE            write the rows of one detail as CSV (UTF-8, RFC 4180)\n"
        "  --detail-id ID        the detail --csv writes (default: the sheet's first)\n"
        "  --html FILE           write the pages as one self-contained HTML file\n"
        "  --svg FOLDER          write page-001.svg, page-002.svg, ... into FOLDER\n"
        "  --text FILE           write the pages as plain text (UTF-8), a form feed between pages\n"
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
            : arg == "--xlsx"                                ? &options.xlsxFile
            : arg == "--csv"                                 ? &options.csvFile
            : arg == "--detail-id"                           ? &options.detailId
            : arg == "--html"                                ? &options.htmlFile
            : arg == "--svg"                                 ? &options.svgFolder
            : arg == "--text"                                ? &options.textFile
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
    std::vector<std::string> outputs;
    for (const auto& [name, given] : {std::pair {"--pdf", options.pdfFile.has_value()}, {"--png", options.pngFolder.has_value()},
                                      {"--xlsx", options.xlsxFile.has_value()}, {"--csv", options.csvFile.has_value()},
                                      {"--html", options.htmlFile.has_value()}, {"--svg", options.svgFolder.has_value()},
                                      {"--text", options.textFile.has_value()}})
        if (given)
            outputs.emplace_back(name);
    if (outputs.empty())
        return fail("no output: give one of --pdf, --png, --xlsx, --csv, --html, --svg, --text");
    if (outputs.size() > 1)
        return fail(outputs[0] + " and " + outputs[1] + " given together: give one output");
    if (options.detailId && !options.csvFile)
        return fail("--detail-id without --csv");
    if (dpiGiven && !options.pngFolder)
        return fail("--dpi without --png");
    return result;
}

} // namespace vl
