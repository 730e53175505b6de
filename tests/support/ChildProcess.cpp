#include "ChildProcess.h"
#include "TestFiles.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vl::test
{

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
    const std::string& workingFolder, const std::string& outputFolder,
    const std::vector<std::pair<std::string, std::string>>& environment)
{
    const std::string folder = outputFolder.empty() ? workingFolder : outputFolder;
    const std::string outPath = folder + "/stdout.txt", errPath = folder + "/stderr.txt";
    std::vector<std::string> args = { program };
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::chdir(workingFolder.c_str()) != 0)
            _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        setenv("LC_ALL", "C.UTF-8", 1);
        for (const auto& [name, value] : environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readBytes(outPath);
    result.err = readBytes(errPath);
    return result;
}

} // namespace vl::test
