#pragma once
// The user tables of a genuine Access file (Jet 3, Jet 4, ACE) as read-only SQLite virtual tables,
// read with mdbtools' libmdb. Private to the data layer and its tests.
//
// The file is held in memory; its header, catalog and every table definition are checked before
// libmdb sees them. Rows stream page by page while SQLite scans: nothing is read ahead, and a scan
// reads each page of the table once. Values reach SQL as:
//   yes/no 1 or 0; byte, integer, long integer as integers; single and double as reals;
//   currency and decimal as the real of the amount when it has at most 15 significant digits (so
//     that it reads back exactly), else as the exact decimal text;
//   date/time as 'YYYY-MM-DD[ HH:MM:SS[.fff]]' text, or as its day number (a real, days since 30
//     December 1899) when the text would not read back as exactly that day number;
//   text and memo as UTF-8 text compared without regard to ASCII case (COLLATE NOCASE);
//   binary and OLE object as blobs, whole; replication id as '{XXXXXXXX-...}' text.
// An equality on a number or text column is served by a look-up built with one scan of the table
// (see docs/jet-files.md); every other plan is a full scan.

#include "Provider.h"

#include <exception>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;

namespace vl
{

class JetFile;

// One Access file opened for the SQL engine. Raises EOleException from the constructor:
// "The file '%s' is damaged: %s" for a truncated or malformed header or catalog, "... is encrypted
// ..." for an encrypted one. Must outlive every sqlite3 connection it is attached to.
class JetTableSource
{
public:
    JetTableSource(std::string bytes, std::string name);
    ~JetTableSource();
    JetTableSource(const JetTableSource&) = delete;
    JetTableSource& operator=(const JetTableSource&) = delete;

    // Registers the module "jet" on db and creates one virtual table in "main" per user table, named
    // as in the file. A table whose definition is damaged is left out and remembered (see
    // damagedTable). Raises EOleException when SQLite refuses.
    void attach(sqlite3* db);

    // The provider's description of a column of a user table (names without regard to case), or
    // null when there is none.
    const ProviderColumn* column(std::string_view table, std::string_view column) const;

    // Why the table of that name was left out (the exception to raise), or null.
    std::exception_ptr damagedTable(std::string_view table) const;

    // The exception a virtual table raised inside SQLite since the last call (then cleared), or
    // null: SQLite only sees SQLITE_ERROR, the caller raises this one instead.
    std::exception_ptr takeFailure();

private:
    std::unique_ptr<JetFile> m_file;
};

} // namespace vl
