#pragma once
// The one way the program writes an output file, on plain POSIX calls.
//
// A regular file, or a name that does not exist yet, is replaced atomically: the bytes go to a new
// file beside it (created exclusively, with the old file's permission bits), are flushed to disk and
// renamed over the name only by commit(). Until then, and whenever anything fails, the old file keeps
// every byte and no temporary file is left behind. A symbolic link is followed and stays a link.
//
// Anything else (a device such as /dev/null, a FIFO, a socket, /dev/stdout and /dev/fd/N) is written
// in place and never replaced, renamed over or removed.
//
// An output that is the same file as one of the run's inputs (same device and inode, symbolic links
// followed) is refused before anything is written. Every failure raises Exception with a message
// that names the file; a write to a closed pipe fails with EPIPE only where SIGPIPE is ignored.

#include <cstddef>
#include <string>
#include <vector>

namespace vl {

class OutputFile {
public:
    OutputFile() = default;
    // Opens path at once; see open().
    explicit OutputFile(const std::string& path, const std::vector<std::string>& inputs = {});
    // Cancels what was not committed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes path ready for writing. inputs are the files the run reads; those that do not exist are
    // skipped. Raises Exception when path names an input, a folder, a symbolic link to nothing or a
    // loop of links, or cannot be opened; nothing is created then. Opening a FIFO waits for its reader.
    void open(const std::string& path, const std::vector<std::string>& inputs = {});
    bool isOpen() const { return m_fd >= 0; }

    // Appends the bytes; raises Exception "Cannot write to \"path\". reason" (ENOSPC, EIO, EPIPE...).
    // After a failure the file stays open until commit() or cancel() (commit() then fails again).
    void write(const char* data, std::size_t size);
    void write(const std::string& data) { write(data.data(), data.size()); }

    // Flushes and closes; a replaced file is renamed over its name. Raises Exception on any failure,
    // after cancelling. Does nothing when not open.
    void commit();
    // Closes; the temporary file is removed and the old file stays as it was. Never fails.
    void cancel() noexcept;

    // The name as given to open().
    const std::string& path() const { return m_path; }
    // False when the output is written in place (a device, a FIFO, standard output).
    bool replacesFile() const { return !m_temporary.empty(); }

private:
    void openInPlace(int fd);
    void openReplacement(const std::string& target, bool exists, unsigned mode, unsigned owner, unsigned group);

    std::string m_path;
    std::string m_target; // the file renamed over, symbolic links resolved
    std::string m_temporary; // empty when written in place
    int m_fd = -1;
    bool m_failed = false;
};

} // namespace vl
