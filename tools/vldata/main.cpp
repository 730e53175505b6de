// vldata: writes the data document of a master query and detail queries, with the window's own
// data components and data source, for scripts and for checking.

#include "CommandLine.h"
#include "Startup.h"
#include "ToolMain.h"
#include "VldataRun.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // The window's own start, so that the same data give the same text here as there.
    const vl::ProgramStart start;
    const vl::ParsedCommandLine parsed = vl::parseVldataCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> exitCode = vl::answerCommandLine(
            {"vldata", VL_VERSION, vl::VldataUsage, parsed.error, parsed.options.help, parsed.options.version}))
        return *exitCode;
    return vl::runReportingFailures([&] { vl::runVldata(parsed.options); });
}
