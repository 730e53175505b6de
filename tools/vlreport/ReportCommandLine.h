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
