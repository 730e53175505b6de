#include "ToolMain.h"

#include "Exceptions.h"

#include <cstdio>
#include <exception>

namespace vl {

std::optional<int> answerCommandLine(const ToolIdentity& tool, const CommandLineAnswers& answers)
{
    if (!answers.error.empty()) {
        std::fprintf(stderr, "%s: %s\n%s", tool.name, answers.error.c_str(), tool.usage.c_str());
        return 2;
    }
    if (answers.help) {
        std::fputs(tool.usage.c_str(), stdout);
        return 0;
    }
    if (answers.version) {
        std::printf("%s %s\n", tool.name, tool.programVersion);
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
