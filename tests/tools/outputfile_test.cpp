// Output and input files of vldata and vlreport, run as child processes: a failed run keeps the old
// file byte for byte, devices and FIFOs are written in place and stay what they are, write errors are
// failures, an output naming an input is refused, and inputs that never end are refused.

#include "ChildProcess.h"
#include "SampleFolder.h"
#include "SqliteFixture.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using vl::test::FixtureDatabase;
using vl::test::readBytes;
using vl::test::RunResult;

const std::vector<std::string> SampleQueries = {"--master", "select * from Bas_Department order by deptno",
                                                "--detail", "Detail", "select * from Bas_Employee order by deptno",
                                                "--relation", "DeptNo=DeptNo"};

std::vector<std::string> joined(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// One way to write an output named by the last argument.
struct Writer {
    const char* name;
    const char* program;
    std::vector<std::string> arguments; // the output's name follows
    const char* expectedStart; // of what a successful run writes
};

const std::vector<Writer>& writers()
{
    static const std::vector<Writer> all = {
        {"vldata -o", VLDATA_PATH, joined(SampleQueries, {"-o"}), "<DocumentData>"},
        {"vlreport --pdf over the database", VLREPORT_PATH, joined(joined({"test.vld"}, SampleQueries), {"--pdf"}), "%PDF-"},
        {"vlreport --pdf over --data", VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--pdf"}, "%PDF-"},
    };
    return all;
}

unsigned permissions(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

struct stat fileStatus(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

// Runs a tool with standard input fed from `input` and standard output into `outputFd` (the write end
// of a pipe the caller reads, a device, ...); standard error is returned in `err`.
RunResult runWithDescriptors(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& folder, int outputFd, const std::string& input = {})
{
    int inPipe[2];
    EXPECT_EQ(::pipe2(inPipe, O_CLOEXEC), 0);
    const std::string errPath = folder + "/stderr.txt";
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || ::chdir(folder.c_str()) != 0)
            _exit(127);
        ::dup2(inPipe[0], 0);
        ::dup2(outputFd, 1);
        ::dup2(err, 2);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(inPipe[0]);
    std::thread feeder([&] {
        for (std::size_t done = 0; done < input.size();) {
            const ssize_t n = ::write(inPipe[1], input.data() + done, input.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(inPipe[1]);
    });
    RunResult result;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    feeder.join();
    result.err = readBytes(errPath);
    return result;
}

// Reads a FIFO on a thread while a tool writes it; never left waiting when the tool does not open it.
class FifoReader {
public:
    explicit FifoReader(std::string path) : m_path(std::move(path))
    {
        m_thread = std::thread([this] {
            const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            char buffer[65536];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                m_text.append(buffer, static_cast<std::size_t>(n));
            ::close(fd);
        });
    }
    std::string finish()
    {
        // A writer of our own that ends at once lets a reader still waiting at open go.
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        m_thread.join();
        return m_text;
    }

private:
    std::string m_path;
    std::string m_text;
    std::thread m_thread;
};

class OutputFiles : public testing::Test {
protected:
    void SetUp() override
    {
        folder = db.folder();
        vl::test::copySample(folder, "test.vld");
        std::ofstream(folder + "/broken.vld") << "<report version=\"1\"><sheet name=\"A\">\n<title height=\"x\"/></sheet>";
        std::ofstream(folder + "/broken.xml") << "<DocumentData><Master><Row a=\"1\"></Master></DocumentData>";
        const RunResult r = run(VLDATA_PATH, joined(SampleQueries, {"-o", "data.xml"}));
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    RunResult run(const std::string& program, const std::vector<std::string>& arguments)
    {
        return vl::test::runProgram(program, arguments, folder, {}, {{"QT_QPA_PLATFORM", "offscreen"}});
    }
    RunResult run(const Writer& writer, const std::string& output)
    {
        return run(writer.program, joined(writer.arguments, {output}));
    }
    // Hidden files of the folder: the temporary files a writer would have left.
    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with('.'))
                names.push_back(name);
        }
        return names;
    }

    FixtureDatabase db;
    std::string folder;
};

TEST_F(OutputFiles, AFailedRunLeavesTheOldFileByteForByte)
{
    const struct {
        const char* what;
        const char* program;
        std::vector<std::string> arguments;
    } cases[] = {
        {"a bad query", VLDATA_PATH, {"--master", "select * from NoSuchTable", "-o"}},
        {"a bad relation", VLDATA_PATH,
         {"--master", "select * from Bas_Department", "--detail", "D", "select * from Bas_Employee", "--relation", "x=DeptNo", "-o"}},
        {"a bad template", VLREPORT_PATH, {"broken.vld", "--data", "data.xml", "--pdf"}},
        {"a bad data document", VLREPORT_PATH, {"test.vld", "--data", "broken.xml", "--pdf"}},
        {"a missing sheet", VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--sheet", "Nope", "--pdf"}},
        {"a bad query under vlreport", VLREPORT_PATH, {"test.vld", "--master", "select * from NoSuchTable", "--pdf"}},
    };
    const std::string old = std::string("old bytes\0kept", 14);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string keep = folder + "/keep.out";
        std::ofstream(keep, std::ios::binary) << old;
        ::chmod(keep.c_str(), 0640);
        const RunResult r = run(c.program, joined(c.arguments, {"keep.out"}));
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(readBytes(keep), old);
        EXPECT_EQ(permissions(keep), 0640u);
        EXPECT_EQ(leftovers(), std::vector<std::string>());
    }
}

TEST_F(OutputFiles, ARegularFileIsReplacedWithItsPermissionsAndThroughItsLink)
{
    fs::create_directory(folder + "/real");
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        const std::string target = folder + "/real/target.out";
        std::ofstream(target) << "old";
        ::chmod(target.c_str(), 0604);
        RunResult r = run(writer, "real/target.out");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(readBytes(target).starts_with(writer.expectedStart));
        EXPECT_EQ(permissions(target), 0604u);

        std::ofstream(target) << "old";
        fs::remove(folder + "/link.out");
        fs::create_symlink("real/target.out", folder + "/link.out");
        r = run(writer, "link.out");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(folder + "/link.out")) << "the link stays a link";
        EXPECT_TRUE(readBytes(target).starts_with(writer.expectedStart));

        fs::remove(folder + "/new.out");
        r = run(writer, "new.out");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(readBytes(folder + "/new.out").starts_with(writer.expectedStart));
        EXPECT_EQ(permissions(folder + "/new.out") & 0222, 0200u) << "a new file follows the umask";
        EXPECT_EQ(leftovers(), std::vector<std::string>());
        EXPECT_EQ(std::distance(fs::directory_iterator(folder + "/real"), fs::directory_iterator()), 1);
    }
}

TEST_F(OutputFiles, DevicesAndFifosAreWrittenInPlaceAndStayWhatTheyAre)
{
    const struct stat null = fileStatus("/dev/null");
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        RunResult r = run(writer, "/dev/null");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const struct stat after = fileStatus("/dev/null");
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_rdev, null.st_rdev);
        EXPECT_EQ(after.st_ino, null.st_ino);

        FifoReader reader(folder + "/fifo");
        r = run(writer, "fifo");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(reader.finish().starts_with(writer.expectedStart));
        EXPECT_TRUE(S_ISFIFO(fileStatus(folder + "/fifo").st_mode));
        EXPECT_EQ(leftovers(), std::vector<std::string>());
    }
}

TEST_F(OutputFiles, StandardOutputIsWrittenWhereItPoints)
{
    const RunResult plain = run(VLDATA_PATH, SampleQueries);
    ASSERT_EQ(plain.exitCode, 0);
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        // Into the file the test redirects standard output to.
        RunResult r = run(writer, "/dev/stdout");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out.starts_with(writer.expectedStart)) << r.out.substr(0, 40);
        if (writer.program == std::string(VLDATA_PATH))
            EXPECT_EQ(r.out, plain.out);
        else
            EXPECT_NE(r.out.find("%%EOF"), std::string::npos);

        // Into a pipe.
        int pipeFds[2];
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        std::string piped;
        std::thread drain([&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
                piped.append(buffer, static_cast<std::size_t>(n));
        });
        r = runWithDescriptors(writer.program, joined(writer.arguments, {"/dev/fd/1"}), folder, pipeFds[1]);
        ::close(pipeFds[1]);
        drain.join();
        ::close(pipeFds[0]);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(piped.starts_with(writer.expectedStart));
    }
}

TEST_F(OutputFiles, StatisticsStayOutOfAPdfOnStandardOutput)
{
    RunResult r = run(VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--stats", "--pdf", "/dev/stdout"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("%PDF-"));
    EXPECT_EQ(r.out.find("pages: "), std::string::npos) << "the statistics are not in the PDF";
    EXPECT_NE(r.err.find("pages: "), std::string::npos) << r.err;

    r = run(VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--stats", "--pdf", "out.pdf"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("pages: ")) << "with a file, they go to standard output as before";
}

TEST_F(OutputFiles, WriteErrorsAreFailuresWithTheSystemsReason)
{
    for (const Writer& writer : writers()) {
        SCOPED_TRACE(writer.name);
        RunResult r = run(writer, "/dev/full");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("Cannot write to \"/dev/full\". No space left on device"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_character_file("/dev/full"));

        // A reader that went away: EPIPE, not a silent death by SIGPIPE.
        int pipeFds[2];
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        ::close(pipeFds[0]);
        r = runWithDescriptors(writer.program, joined(writer.arguments, {"/dev/stdout"}), folder, pipeFds[1]);
        ::close(pipeFds[1]);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("Broken pipe"), std::string::npos) << r.err;
    }
    // vldata's own standard output.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const RunResult r = runWithDescriptors(VLDATA_PATH, SampleQueries, folder, full);
    ::close(full);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Cannot write to standard output. No space left on device.\n");
}

TEST_F(OutputFiles, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    fs::create_symlink("test.mdb", folder + "/alias.mdb");
    const std::string absoluteDatabase = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder + "/test.mdb";
    const struct {
        const char* what;
        const char* program;
        std::vector<std::string> arguments;
        const char* input;
    } cases[] = {
        {"vldata over the default database", VLDATA_PATH, joined(SampleQueries, {"-o", "test.mdb"}), "test.mdb"},
        {"vldata through a link", VLDATA_PATH, joined({"--connection", absoluteDatabase}, joined(SampleQueries, {"-o", "alias.mdb"})), "test.mdb"},
        {"vldata through ./", VLDATA_PATH, joined(SampleQueries, {"-o", "./test.mdb"}), "test.mdb"},
        {"vlreport over the template", VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--pdf", "test.vld"}, "test.vld"},
        {"vlreport over the data document", VLREPORT_PATH, {"test.vld", "--data", "data.xml", "--pdf", "data.xml"}, "data.xml"},
        {"vlreport over the database", VLREPORT_PATH, joined(joined({"test.vld"}, SampleQueries), {"--pdf", "alias.mdb"}), "test.mdb"},
        {"vlreport pages over the template", VLREPORT_PATH, {"page-001.png", "--data", "data.xml", "--png", "."}, nullptr},
    };
    fs::copy_file(folder + "/test.vld", folder + "/page-001.png");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string input = folder + "/" + (c.input ? c.input : "page-001.png");
        const std::string before = readBytes(input);
        const RunResult r = run(c.program, c.arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("is also an input of this run"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(input), before);
        EXPECT_EQ(leftovers(), std::vector<std::string>());
    }
}

TEST_F(OutputFiles, InputsThatNeverEndOrAreNoFilesEndWithAMessage)
{
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    fs::create_directory(folder + "/folder");
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"test.vld", "--data", "/dev/zero", "--pdf", "out.pdf"}, "Data file \"/dev/zero\" holds a NUL byte at offset 0"},
        {{"test.vld", "--data", "fifo", "--pdf", "out.pdf"}, ""}, // no writer: an empty document
        {{"test.vld", "--data", "folder", "--pdf", "out.pdf"}, "Data file \"folder\" is a folder"},
        {{"/dev/zero", "--data", "data.xml", "--pdf", "out.pdf"}, "Template file \"/dev/zero\" is not a regular file"},
        {{"fifo", "--data", "data.xml", "--pdf", "out.pdf"}, "Template file \"fifo\" is not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[2]);
        const RunResult r = run(VLREPORT_PATH, c.arguments);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(fs::exists(folder + "/out.pdf"));
    }
    // A stream that ends is read: the document through standard input.
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const RunResult r = runWithDescriptors(VLREPORT_PATH, {"test.vld", "--data", "/dev/stdin", "--pdf", "piped.pdf"},
                                           folder, devNull, readBytes(folder + "/data.xml"));
    ::close(devNull);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(readBytes(folder + "/piped.pdf").starts_with("%PDF-"));
}

} // namespace
