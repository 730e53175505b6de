#pragma once
// What every tool's main does around its own work: answer a refused command line, --help and
// --version, and turn a failure into one message on standard error and exit code 1.

#include "ArgumentReader.h"
#include "Startup.h"

#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace vl {

struct ToolIdentity {
    const char* name; // the program's name, as messages start with it
    const char* programVersion;
    const std::string& usage;
};

// The exit code when the command line itself ends the run: 2 after a refusal (message and usage on
// standard error), 0 after the usage or the version on standard output; none when the work is to run.
std::optional<int> answerCommandLine(const ToolIdentity& tool, const CommandLineAnswers& answers);

// Runs the work: 0 when it returns; 1 when it throws, with the message (full stop added) on standard
// error, or nothing for EAbort, whose message has been told already.
int runReportingFailures(const std::function<void()>& work);

// A tool's whole main: the program's start, held until the end, then the command line read and
// answered, or else the work run on its options; the exit code is the answer's or the work's.
template <typename Options>
int runTool(const ToolIdentity& tool, int argc, char** argv,
    ParsedCommandLine<Options> (*parse)(const std::vector<std::string>& arguments),
    const std::function<int(const std::type_identity_t<Options>& options)>& work)
{
    // The window's own start, so that the same data give the same text here as there.
    const ProgramStart start;
    const ParsedCommandLine<Options> parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (const std::optional<int> exitCode = answerCommandLine(tool, parsed))
        return *exitCode;
    return work(parsed.options);
}

} // namespace vl
