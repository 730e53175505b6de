#include "ToolMain.h"

#include "Exceptions.h"

#include <cstdio>
#include <exception>

namespace vl {

std::optional<int> answerCommandLine(const ToolCommandLine& commandLine)
{
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", commandLine.tool, commandLine.error.c_str(), commandLine.usage.c_str());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(commandLine.usage.c_str(), stdout);
        return 0;
    }
    if (commandLine.version) {
        std::printf("%s %s\n", commandLine.tool, commandLine.programVersion);
        return 0;
    }
    return std::nullopt;
}

int runReportingFailures(const std::function<void()>& work)
{
    try {
        work();
        return 0;
    } catch (const EAbort&) {
        return 1;
    } catch (const std::exception& e) {
        const std::string text = messageWithFullStop(e.what());
        std::fprintf(stderr, "%s\n", text.c_str());
        return 1;
    }
}

} // namespace vl
