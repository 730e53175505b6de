#pragma once
// A PostgreSQL server of the tests' own: initdb and pg_ctl in a temporary folder, listening on a
// Unix socket only, with password authentication. As root the server runs as the unprivileged
// user "postgres" (initdb refuses root). A watchdog process stops the server and removes the
// folder as soon as this process ends, however it ends.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl::test
{

class PgServer
{
public:
    // Folder of initdb, pg_ctl and psql; empty when no PostgreSQL server is installed.
    static std::string binaryFolder();

    // Starts the server (initdb, pg_ctl start); throws std::runtime_error with the tool's output.
    PgServer();
    // Stops the server and removes its folder.
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // The server of this process, started on first use and kept until stopShared().
    static PgServer& shared();
    static void stopShared();

    const std::string& socketFolder() const { return m_socketFolder; }
    static constexpr int Port = 5432;
    static constexpr const char* User = "vl";
    static constexpr const char* Password = "vl-secret";

    // Runs SQL with psql, stopping at the first error; throws with psql's messages.
    void runSql(const std::string& database, std::string_view sql) const;
    void createDatabase(const std::string& name) const;
    // The SQLite script mapped by postgresScript() into a new database.
    void loadScript(const std::string& database, const std::string& scriptPath) const;
    // A database holding samples/test.sql, loaded once per server.
    const std::string& sampleDatabase();

    // "Provider=MSDASQL;Driver=...;Server=...;Port=...;Database=...;UID=...;PWD=...;BoolsAsChar=0".
    std::string connectionString(const std::string& database, std::string_view password = Password) const;

private:
    void start();
    // Closes the watchdog's pipe and waits while it stops the server and removes the folder.
    void stop();

    std::string m_folder; // removed at the end
    std::string m_socketFolder; // the data folder's parent, owned by the server's user
    std::string m_dataFolder;
    std::string m_runAs; // empty: this process's user
    int m_watchdogPid = -1;
    int m_watchdogPipe = -1;
    std::string m_sampleDatabase;
};

// The sample script (SQLite dialect) in PostgreSQL's: the few type names mapped (AUTOINCREMENT key
// to SERIAL, NVARCHAR to VARCHAR, LONGTEXT and MEMO to TEXT, DATETIME to TIMESTAMP, CURRENCY to
// NUMERIC(19,4), YESNO to BOOLEAN), PRAGMA lines dropped. Yes/no columns take the script's 0 and 1
// as SMALLINT and are turned into BOOLEAN after the inserts.
std::string postgresScript(std::string_view sqliteScript);

// The PostgreSQL type of an SQLite declared type, by the same table as postgresScript().
std::string postgresType(std::string_view declaredType);

// "{name}" when odbcinst.ini registers the driver, else the driver library's path (unixODBC takes
// both); empty when neither is there.
std::string odbcDriver(const std::string& name, const std::string& library);

} // namespace vl::test
