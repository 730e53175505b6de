#pragma once
// Runs one of the project's programs as a child process for a test, with its output captured.

#include <string>
#include <utility>
#include <vector>

namespace vl::test
{

struct RunResult {
    int exitCode = -1; // -1 when the child did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in `workingFolder`, in the C.UTF-8 locale, and waits for it.
// Standard output and error go to files in `outputFolder` (the working folder when empty) and are
// read back. Each `environment` entry is set in the child; an empty value removes the variable.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& workingFolder, const std::string& outputFolder = {},
    const std::vector<std::pair<std::string, std::string>>& environment = {});

} // namespace vl::test
