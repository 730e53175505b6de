// Damaged databases: 1 000 truncated and bit-flipped copies of the sample database, each opened
// through the provider as the window opens it (connection, both data sets, every value read).
// Each must open or fail with a message of the program's exception hierarchy; none may crash or
// hang. The copies run in a child process, so that a crash or a hang is seen and named.

#include "ADODB.h"
#include "Exceptions.h"
#include "Fixture.h"
#include "SampleComponents.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

constexpr int CopyCount = 1000;
// Longest wait for one copy; far above what one takes, even instrumented.
constexpr int CopyTimeoutMs = 30000;

using vl::test::readBytes;
using vl::test::writeBytes;

// Copy n: even ones cut at a random length, odd ones with 1 to 16 bits flipped, every fourth of
// those also cut; a third of the flips land in the first page, where the schema lies.
std::string damagedCopy(const std::string& sample, int n)
{
    std::mt19937 random(static_cast<unsigned>(n) * 7919u + 1u);
    std::string copy = sample;
    if (n % 2 == 0) {
        copy.resize(std::uniform_int_distribution<size_t>(0, sample.size() - 1)(random));
        return copy;
    }
    const int flips = std::uniform_int_distribution<int>(1, 16)(random);
    const size_t firstPage = std::min<size_t>(copy.size(), 4096);
    for (int i = 0; i < flips; ++i) {
        const size_t limit = random() % 3 == 0 ? firstPage : copy.size();
        const size_t at = std::uniform_int_distribution<size_t>(0, limit - 1)(random);
        copy[at] = static_cast<char>(copy[at] ^ (1 << (random() % 8)));
    }
    if (n % 4 == 3)
        copy.resize(std::uniform_int_distribution<size_t>(copy.size() / 2, copy.size() - 1)(random));
    return copy;
}

// What became of one copy, as one byte on the pipe.
enum Outcome : char {
    Opened = 'o',
    Refused = 'r', // an Exception with a message
    Silent = 's', // an Exception without a message
    Foreign = 'x', // something outside the program's exception hierarchy
    Written = 'w', // the file's bytes changed
};

Outcome openCopy(const std::string& folder, const std::string& bytes)
{
    const std::string path = folder + "/test.mdb";
    writeBytes(path, bytes);
    Outcome outcome = Opened;
    try {
        vl::test::CurrentDirectory cwd(folder);
        TComponent owner(nullptr);
        TADOConnection* connection = nullptr;
        TADODataSet* departments = nullptr;
        TDataSource* source = nullptr;
        TADODataSet* employees = nullptr;
        vl::loadSampleDataComponents(&owner, connection, departments, source, employees);
        connection->Open();
        for (TADODataSet* dataSet : { departments, employees }) {
            dataSet->Open();
            for (dataSet->First(); !dataSet->AtEnd(); dataSet->Next())
                for (int i = 0; i < dataSet->FieldCount(); ++i)
                    (void)dataSet->FieldAt(i)->ValueText();
        }
    } catch (const Exception& error) {
        outcome = error.Message().empty() ? Silent : Refused;
    } catch (...) {
        outcome = Foreign;
    }
    if (readBytes(path) != bytes)
        outcome = Written;
    return outcome;
}

[[noreturn]] void runChild(const std::string& folder, const std::string& sample, int out)
{
    for (int n = 0; n < CopyCount; ++n) {
        const char outcome = openCopy(folder, damagedCopy(sample, n));
        if (write(out, &outcome, 1) != 1)
            _exit(3);
    }
    _exit(0);
}

// Over the program's sample (a Jet 4 file) and the SQLite build of the same script.
class CorruptDatabase : public testing::TestWithParam<const char*>
{
};

TEST_P(CorruptDatabase, ThousandDamagedCopiesOpenOrFailWithAMessage)
{
    const std::string sample = readBytes(std::string(VL_RUN_DIR "/") + GetParam());
    ASSERT_GT(sample.size(), 4096u);
    vl::test::TempDir folder;

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        runChild(folder.path(), sample, pipeEnds[1]);
    }
    close(pipeEnds[1]);

    std::string outcomes;
    bool hung = false;
    for (;;) {
        pollfd wait { pipeEnds[0], POLLIN, 0 };
        const int ready = poll(&wait, 1, CopyTimeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            hung = true;
            kill(child, SIGKILL);
            break;
        }
        char buffer[256];
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        outcomes.append(buffer, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    const size_t done = outcomes.size();
    EXPECT_FALSE(hung) << "copy " << done << " hung";
    ASSERT_TRUE(WIFEXITED(status)) << "copy " << done << " crashed the process (signal "
                                   << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(done, static_cast<size_t>(CopyCount));
    for (size_t n = 0; n < done; ++n)
        EXPECT_TRUE(outcomes[n] == Opened || outcomes[n] == Refused)
            << "copy " << n << ": "
            << (outcomes[n] == Silent           ? "failed without a message"
                       : outcomes[n] == Foreign ? "failed outside the exception hierarchy"
                                                : "the file was changed");
    // Both ways out were taken, or the copies proved little.
    const auto opened = std::count(outcomes.begin(), outcomes.end(), Opened);
    EXPECT_GT(opened, 0);
    EXPECT_GT(static_cast<long>(done) - opened, 100);
}

INSTANTIATE_TEST_SUITE_P(Samples, CorruptDatabase, testing::Values("test.mdb", "sqlite/test.mdb"),
    [](const testing::TestParamInfo<const char*>& info) { return info.index == 0 ? "Jet" : "Sqlite"; });

} // namespace
