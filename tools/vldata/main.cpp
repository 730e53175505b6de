// vldata: writes the data document of a master query and detail queries, with the window's own
// data components and data source, for scripts and for checking.

#include "CommandLine.h"
#include "Exceptions.h"
#include "Startup.h"
#include "VldataRun.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // The window's own start, so that the same data give the same text here as there.
    const vl::ProgramStart start;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const vl::ParsedCommandLine parsed = vl::parseVldataCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "vldata: %s\n%s", parsed.error.c_str(), vl::VldataUsage.c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(vl::VldataUsage.c_str(), stdout);
        return 0;
    }
    if (parsed.options.version) {
        std::printf("vldata %s\n", VL_VERSION);
        return 0;
    }
    try {
        vl::runVldata(parsed.options);
        return 0;
    } catch (const EAbort&) {
        return 1;
    } catch (const std::exception& e) {
        const std::string text = vl::messageWithFullStop(e.what());
        std::fprintf(stderr, "%s\n", text.c_str());
        return 1;
    }
}
