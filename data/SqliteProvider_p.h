#pragma once
// Internals of the file-database provider, visible to the data layer's tests only.

#include "Provider.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;

namespace vl {

// A connection that runs its commands on db, which it takes over and closes; source names the
// database in messages. Table columns are reported updatable unless tablesReadOnly.
std::unique_ptr<ProviderConnection> sqliteConnection(sqlite3* db, std::string source, bool tablesReadOnly);

struct ColumnTypeInfo {
    int type = adEmpty;
    int definedSize = 0;
    int precision = 0;
    int scale = 0;
    bool fixedLength = false;
};

class StoredResult;

// A column without declared type (an expression) is described by the storage classes of its values:
// bytes if any, else text, else reals, else integers; a mixed column takes the one representation,
// a real becoming text by `realText`.
void describeUntypedColumn(StoredResult& result, std::size_t column, std::string (*realText)(double));

// The column description the provider reports for an SQLite declared column type, the way the
// Jet provider reports the Access type of that name. Unknown names follow SQLite's affinity rules.
ColumnTypeInfo mapDeclaredType(std::string_view declaredType);

// Day number of a stored date text: 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (space or 'T'),
// 'HH:MM[:SS[.fff]]' or a decimal day number; nullopt when the text is none of these.
std::optional<double> parseDateText(std::string_view text);

// Exact decimal text to ten-thousandths, rounded half away from zero; nullopt when not a number
// or out of range.
std::optional<int64_t> parseCurrencyText(std::string_view text);

// A file database open for reading. The constructor refuses, with EOleException naming the path
// and the reason, anything but a regular file (after symbolic links): a missing file, a symbolic
// link loop, a folder, a FIFO, a device or a socket. It never blocks: the path is examined before
// it is opened, and opened without waiting for a writer.
class DatabaseFile
{
public:
    explicit DatabaseFile(const std::string& path);
    ~DatabaseFile();
    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;

    // Up to size bytes from the start; fewer when the file is shorter.
    std::size_t readStart(unsigned char* buffer, std::size_t size) const;
    // The whole file. Raises EOleException when reading fails.
    std::string readAll() const;

private:
    std::string m_path;
    int m_descriptor = -1;
};

} // namespace vl
