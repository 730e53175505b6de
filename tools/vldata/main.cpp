// vldata: writes the data document of a master query and detail queries, with the window's own
// data components and data source, for scripts and for checking.

#include "CommandLine.h"
#include "ToolMain.h"
#include "VldataRun.h"

int main(int argc, char** argv)
{
    return vl::runTool({"vldata", VL_VERSION, vl::VldataUsage}, argc, argv, vl::parseVldataCommandLine,
        [](const vl::VldataOptions& options) { return vl::runReportingFailures([&] { vl::runVldata(options); }); });
}
