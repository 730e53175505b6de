#pragma once
// The command line of vlreport.

#include "ArgumentReader.h"
#include "DataOptions.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vl {

struct VlreportOptions {
    std::string templateFile;
    std::optional<std::string> dataFile; // none: the data options build the document
    DataOptions data;
    std::optional<std::string> sheet; // none: the template's first sheet
    std::optional<std::string> pdfFile;
    std::optional<std::string> pngFolder;
    // The other outputs (ReportExport.h); exactly one output of all is given.
    std::optional<std::string> xlsxFile, csvFile, htmlFile, svgFolder, textFile;
    std::optional<std::string> detailId; // --csv: the detail whose rows are written; none: the first
    int dpi = 96; // of the PNG pages; the screen's at 100%
    bool stats = false;
    // --param NAME=VALUE in the order given, one per name (compared without ASCII letter case): a
    // later one replaces an earlier one in its place. Checked against the template when it is read.
    std::vector<std::pair<std::string, std::string>> parameters;
};

// With --help or --version the rest of the command line need not be complete, only well formed.
ParsedCommandLine<VlreportOptions> parseVlreportCommandLine(const std::vector<std::string>& arguments);

extern const std::string VlreportUsage;

} // namespace vl
