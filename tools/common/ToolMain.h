#pragma once
// What every tool's main does around its own work: answer a refused command line, --help and
// --version, and turn a failure into one message on standard error and exit code 1.

#include <functional>
#include <optional>
#include <string>

namespace vl {

struct ToolCommandLine {
    const char* tool; // the program's name, as messages start with it
    const char* programVersion;
    const std::string& usage;
    const std::string& error; // empty when the command line is good
    bool help = false;
    bool version = false;
};

// The exit code when the command line itself ends the run: 2 after a refusal (message and usage on
// standard error), 0 after the usage or the version on standard output; none when the work is to run.
std::optional<int> answerCommandLine(const ToolCommandLine& commandLine);

// Runs the work: 0 when it returns; 1 when it throws, with the message (full stop added) on standard
// error, or nothing for EAbort, whose message has been told already.
int runReportingFailures(const std::function<void()>& work);

} // namespace vl
