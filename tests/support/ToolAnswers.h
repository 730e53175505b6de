#pragma once
// What every tool answers before its own work, through the command-line piece the tools share:
// --help and each refused command line. `run` runs the tool with the given arguments.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vl::test
{

using RunTool = std::function<RunResult(const std::vector<std::string>&)>;

// --help: the usage on standard output, exit code 0.
inline void expectHelpIsTheUsage(const RunTool& run, const std::string& usage)
{
    const RunResult r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, usage);
}

// Each command line is refused: exit code 2, the usage on standard error, nothing on standard
// output. When errorStart is given, standard error begins with it.
inline void expectRefusedWithUsage(const RunTool& run, const std::vector<std::vector<std::string>>& commandLines,
    const std::string& usage, const char* errorStart = nullptr)
{
    for (const auto& arguments : commandLines) {
        std::string shown;
        for (const auto& a : arguments)
            shown += a + " ";
        const RunResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 2) << shown;
        if (errorStart) {
            EXPECT_EQ(r.err.rfind(errorStart, 0), 0u) << shown << r.err;
        }
        EXPECT_NE(r.err.find(usage), std::string::npos) << shown << r.err;
        EXPECT_EQ(r.out, "");
    }
}

} // namespace vl::test
