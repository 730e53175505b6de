#include "OutputFile.h"

#include "Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl {
namespace {

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::string systemText(int error)
{
    return std::strerror(error);
}

[[noreturn]] void fail(const std::string& message)
{
    throw Exception(message);
}

// The descriptor behind /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N, or -1. Written
// through a copy of it, the output keeps the shell's file position and append mode, which opening
// the name again would lose.
int namedDescriptor(const std::string& path)
{
    if (path == "/dev/stdout")
        return STDOUT_FILENO;
    if (path == "/dev/stderr")
        return STDERR_FILENO;
    std::string_view number;
    for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (std::string_view(path).starts_with(prefix))
            number = std::string_view(path).substr(prefix.size());
    }
    if (number.empty() || number.size() > 9 || !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::atoi(std::string(number).c_str());
}

std::string randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[8] {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // Only unlikely names matter here: O_EXCL keeps them apart.
        static unsigned counter = 0;
        const unsigned long mixed = static_cast<unsigned long>(::getpid()) * 2654435761u ^ ++counter ^ std::time(nullptr);
        std::memcpy(bytes, &mixed, std::min(sizeof bytes, sizeof mixed));
    }
    std::string text;
    for (unsigned char byte : bytes)
        text += letters[byte % (sizeof letters - 1)];
    return text;
}

struct FileId {
    dev_t device;
    ino_t inode;
};

} // namespace

OutputFile::OutputFile(const std::string& path, const std::vector<std::string>& inputs)
{
    open(path, inputs);
}

OutputFile::~OutputFile()
{
    cancel();
}

void OutputFile::open(const std::string& path, const std::vector<std::string>& inputs)
{
    cancel();
    m_path = path;
    m_target.clear();
    m_failed = false;
    if (path.empty())
        fail("No output file name given");

    std::vector<FileId> guarded;
    for (const std::string& input : inputs) {
        struct stat info {};
        if (!input.empty() && ::stat(input.c_str(), &info) == 0)
            guarded.push_back({info.st_dev, info.st_ino});
    }
    const auto refuseInput = [&](const struct stat& info) {
        for (const FileId& id : guarded) {
            if (id.device == info.st_dev && id.inode == info.st_ino)
                fail("The output file " + quoted(path) + " is also an input of this run; it is left as it was");
        }
    };

    if (const int named = namedDescriptor(path); named >= 0) {
        const int fd = ::fcntl(named, F_DUPFD_CLOEXEC, 3);
        if (fd < 0)
            fail("Cannot write to " + quoted(path) + ". " + systemText(errno));
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            const int error = errno;
            ::close(fd);
            fail("Cannot write to " + quoted(path) + ". " + systemText(error));
        }
        try {
            refuseInput(info);
        } catch (...) {
            ::close(fd);
            throw;
        }
        openInPlace(fd);
        return;
    }

    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ELOOP)
            fail("Cannot create file " + quoted(path) + ". It is a loop of symbolic links");
        if (error != ENOENT)
            fail("Cannot create file " + quoted(path) + ". " + systemText(error));
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0)
            fail("Cannot create file " + quoted(path) + ". It is a symbolic link to a file that does not exist");
        openReplacement(path, false, 0666, 0, 0);
        return;
    }
    refuseInput(info);
    if (S_ISDIR(info.st_mode))
        fail("Cannot create file " + quoted(path) + ". It is a folder");
    if (S_ISREG(info.st_mode)) {
        // Through a link the file it names is replaced, and the link stays.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved)
            fail("Cannot create file " + quoted(path) + ". " + systemText(errno));
        const std::string target = resolved;
        std::free(resolved);
        openReplacement(target, true, info.st_mode & 07777, info.st_uid, info.st_gid);
        return;
    }

    // A device, FIFO or socket: never created, truncated or replaced.
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        fail("Cannot open " + quoted(path) + " for writing. " + systemText(errno));
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || S_ISREG(opened.st_mode) || opened.st_ino != info.st_ino || opened.st_dev != info.st_dev) {
        ::close(fd);
        fail("Cannot write to " + quoted(path) + ". It changed while it was opened");
    }
    openInPlace(fd);
}

void OutputFile::openInPlace(int fd)
{
    m_fd = fd;
    m_target = m_path;
    m_temporary.clear();
}

void OutputFile::openReplacement(const std::string& target, bool exists, unsigned mode, unsigned owner, unsigned group)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Room for the suffix within the usual 255-byte limit of a name.
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 200);
    int fd = -1;
    std::string temporary;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = folder + "." + base + "." + randomSuffix() + ".tmp";
        // The old file's bits are set below; until then only we may read what is written.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0 && !(errno == EEXIST || errno == EINTR)) {
            const int error = errno;
            fail("Cannot create file " + quoted(m_path) + ". " + systemText(error));
        }
        if (fd < 0 && attempt >= 100)
            fail("Cannot create file " + quoted(m_path) + ". No free temporary name beside it");
    }
    if (exists) {
        if (::fchown(fd, owner, group) != 0)
            mode &= ~static_cast<unsigned>(S_ISUID | S_ISGID); // never a set-id file of another owner
        // A file system without permissions refuses this; its files carry none to keep.
        (void)::fchmod(fd, mode);
    }
    m_fd = fd;
    m_target = target;
    m_temporary = temporary;
}

void OutputFile::write(const char* data, std::size_t size)
{
    if (m_fd < 0)
        fail("Cannot write to " + quoted(m_path) + ". The file is not open");
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, std::min<std::size_t>(size, std::size_t(1) << 30));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Standard output may be a pipe the caller made non-blocking.
            pollfd wait {m_fd, POLLOUT, 0};
            (void)::poll(&wait, 1, -1);
            continue;
        }
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            m_failed = true;
            fail("Cannot write to " + quoted(m_path) + ". " + systemText(error));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void OutputFile::commit()
{
    if (m_fd < 0)
        return;
    if (m_failed) {
        cancel();
        fail("Cannot write to " + quoted(m_path) + ". An earlier write failed");
    }
    if (::fsync(m_fd) != 0) {
        const int error = errno;
        // Pipes, terminals and most devices keep no data to flush.
        if (replacesFile() || !(error == EINVAL || error == EROFS || error == ENOTSUP)) {
            cancel();
            fail("Cannot write to " + quoted(m_path) + ". " + systemText(error));
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    // After EINTR the descriptor is closed all the same on Linux, and the data were flushed above.
    if (::close(fd) != 0 && errno != EINTR) {
        const int error = errno;
        cancel();
        fail("Cannot write to " + quoted(m_path) + ". " + systemText(error));
    }
    if (m_temporary.empty())
        return;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        cancel();
        fail("Cannot replace file " + quoted(m_path) + ". " + systemText(error));
    }
    m_temporary.clear();
    // The rename itself reaches the disk with its folder.
    const std::size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_target.substr(0, slash + 1);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)::fsync(folderFd);
        ::close(folderFd);
    }
}

void OutputFile::cancel() noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

} // namespace vl
