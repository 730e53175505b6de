#pragma once
// The work of vlreport once its command line is read. Needs a QGuiApplication for its fonts.

#include "ReportCommandLine.h"

#include "Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl {

// A --param the template refuses (a name it does not declare, a value of the wrong type): bad usage,
// as a refused command line is, though only the template can tell. The message starts lower-case.
class ParameterRefused : public Exception {
public:
    using Exception::Exception;
};

struct ReportRunStats {
    std::size_t pages = 0;
    std::size_t rows = 0; // master rows and detail rows of the data
    std::int64_t loadMs = 0; // template and data
    std::int64_t layoutMs = 0;
    std::int64_t outputMs = 0;
    // What the layout told the user, each once (a field or detail the data lacks, ...); the pages are
    // written all the same, those cells empty, as the viewer shows them.
    std::vector<std::string> prompts;
};

// Reads the template and the data, lays the sheet out with the engine's one layout and writes the
// pages. A failure raises Exception with the message to show; a PDF or page image is either written
// whole or not at all, and an existing file is then left as it was (OutputFile: a device or FIFO is
// written in place). An output naming the template, the data file or the database is refused first.
// The template and the data file are read within MaxDataDocumentChars bytes, never blocking at open.
ReportRunStats runVlreport(const VlreportOptions& options);

// The --stats lines: "pages: N", "rows: N", then "load", "layout" and "output" in milliseconds.
std::string statsText(const ReportRunStats& stats);

} // namespace vl
