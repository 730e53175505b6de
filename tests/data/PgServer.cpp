#include "PgServer.h"
#include "TestFiles.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vl::test
{
namespace
{

std::string upperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return result;
}

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// Runs argv with extra environment entries, standard input from inputPath (or /dev/null) and
// standard output and error together into outputPath.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
    const std::string& outputPath, const std::string& inputPath = "/dev/null")
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    if (pid == 0) {
        const int in = ::open(inputPath.c_str(), O_RDONLY);
        const int out = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0)
            _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = vl::test::readBytes(outputPath);
    return result;
}

std::string runuserPath()
{
    for (const char* path : { "/usr/sbin/runuser", "/sbin/runuser", "/usr/bin/runuser" })
        if (access(path, X_OK) == 0)
            return path;
    return {};
}

std::unique_ptr<PgServer>& sharedServer()
{
    static std::unique_ptr<PgServer> server;
    return server;
}

// The declared type's name without arguments, and its arguments ("(20)") as written.
std::pair<std::string, std::string> splitType(std::string_view declared)
{
    std::size_t open = declared.find('(');
    std::string name(declared.substr(0, open));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return { upperAscii(name), open == std::string_view::npos ? std::string() : std::string(declared.substr(open)) };
}

} // namespace

std::string postgresType(std::string_view declaredType)
{
    auto [name, arguments] = splitType(declaredType);
    if (name == "NVARCHAR" || name == "VARCHAR" || (name == "TEXT" && !arguments.empty()))
        return "VARCHAR" + (arguments.empty() ? std::string("(255)") : arguments);
    if (name == "NCHAR" || name == "CHAR")
        return "CHAR" + arguments;
    if (name == "LONGTEXT" || name == "MEMO" || name == "TEXT" || name == "NTEXT")
        return "TEXT";
    if (name == "DATETIME" || name == "DATE" || name == "TIMESTAMP")
        return "TIMESTAMP";
    if (name == "CURRENCY" || name == "MONEY")
        return "NUMERIC(19,4)";
    if (name == "YESNO" || name == "BIT" || name == "BOOLEAN")
        return "BOOLEAN";
    if (name == "DOUBLE" || name == "FLOAT")
        return "DOUBLE PRECISION";
    if (name == "SINGLE")
        return "REAL";
    if (name == "LONG" || name == "INT")
        return "INTEGER";
    if (name == "BYTE")
        return "SMALLINT";
    if (name == "GUID")
        return "UUID";
    if (name == "LONGBINARY" || name == "BLOB")
        return "BYTEA";
    return std::string(declaredType);
}

std::string postgresScript(std::string_view sqliteScript)
{
    std::string result;
    std::vector<std::string> booleanColumns; // "table.column"
    std::string table;
    std::istringstream lines { std::string(sqliteScript) };
    for (std::string line; std::getline(lines, line);) {
        const std::string upper = upperAscii(line);
        if (table.empty() && upper.starts_with("PRAGMA"))
            continue;
        if (table.empty() && upper.starts_with("CREATE TABLE ")) {
            std::string rest = line.substr(13);
            table = rest.substr(0, rest.find_first_of(" ("));
        } else if (!table.empty() && line.starts_with(");")) {
            table.clear();
        } else if (!table.empty()) {
            // One column a line: "  Name TYPE[(args)] [constraints][,]".
            std::size_t nameStart = line.find_first_not_of(' ');
            std::size_t nameEnd = line.find(' ', nameStart);
            if (nameStart != std::string::npos && nameEnd != std::string::npos) {
                const std::string column = line.substr(nameStart, nameEnd - nameStart);
                std::string rest = line.substr(nameEnd + 1);
                std::string comma;
                if (rest.ends_with(",")) {
                    comma = ",";
                    rest.pop_back();
                }
                std::string constraints;
                std::size_t typeEnd = rest.find(')') != std::string::npos ? rest.find(')') + 1 : rest.find(' ');
                if (typeEnd != std::string::npos && typeEnd < rest.size()) {
                    constraints = rest.substr(typeEnd);
                    rest.resize(typeEnd);
                }
                std::string type = postgresType(rest);
                const std::string upperConstraints = upperAscii(constraints);
                if (upperAscii(rest) == "INTEGER" && upperConstraints.find("AUTOINCREMENT") != std::string::npos) {
                    type = "SERIAL";
                    constraints = " PRIMARY KEY";
                } else if (type == "BOOLEAN") {
                    type = "SMALLINT";
                    booleanColumns.push_back(table + "." + column);
                }
                line = line.substr(0, nameEnd + 1) + type + constraints + comma;
            }
        }
        result += line;
        result += '\n';
    }
    for (const std::string& qualified : booleanColumns) {
        const std::size_t dot = qualified.find('.');
        const std::string column = qualified.substr(dot + 1);
        result += "ALTER TABLE " + qualified.substr(0, dot) + " ALTER COLUMN " + column + " TYPE BOOLEAN USING "
            + column + " <> 0;\n";
    }
    return result;
}

std::string PgServer::binaryFolder()
{
    if (const char* configured = std::getenv("VL_PG_BIN"); configured && *configured)
        return configured;
    std::vector<std::string> candidates;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error))
        candidates.push_back(entry.path().string() + "/bin");
    // The newest version first.
    std::sort(candidates.rbegin(), candidates.rend());
    for (const auto& folder : candidates)
        if (access((folder + "/initdb").c_str(), X_OK) == 0 && access((folder + "/pg_ctl").c_str(), X_OK) == 0
            && access((folder + "/psql").c_str(), X_OK) == 0)
            return folder;
    return {};
}

PgServer::PgServer()
{
    try {
        start();
    } catch (...) {
        stop();
        throw;
    }
}

void PgServer::start()
{
    const std::string bin = binaryFolder();
    if (bin.empty())
        throw std::runtime_error("no PostgreSQL server binaries (initdb, pg_ctl, psql) under /usr/lib/postgresql");
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
    m_folder = pattern;
    m_socketFolder = m_folder + "/run";
    m_dataFolder = m_socketFolder + "/data";
    std::filesystem::create_directory(m_socketFolder);

    // The watchdog first, so that nothing started below can outlive this process.
    std::vector<std::string> stopCommand;
    if (geteuid() == 0) {
        const std::string runuser = runuserPath();
        const passwd* user = getpwnam("postgres");
        if (!user || runuser.empty())
            throw std::runtime_error("running as root needs the user \"postgres\" and runuser to start PostgreSQL");
        m_runAs = runuser;
        if (chown(m_socketFolder.c_str(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error(std::string("chown failed: ") + std::strerror(errno));
        chmod(m_folder.c_str(), 0755);
    }
    auto asServerUser = [&](std::vector<std::string> argv) {
        if (!m_runAs.empty())
            argv.insert(argv.begin(), { m_runAs, "-u", "postgres", "--" });
        return argv;
    };
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
    std::string script = "read line; ";
    for (const auto& word : asServerUser({ bin + "/pg_ctl", "stop", "-s", "-D", m_dataFolder, "-m", "immediate" }))
        script += "'" + word + "' ";
    script += ">/dev/null 2>&1; rm -rf '" + m_folder + "'";
    const pid_t watchdog = fork();
    if (watchdog == 0) {
        // Its own session: a signal to the tests' process group leaves it to clean up.
        setsid();
        dup2(fds[0], 0);
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[0]);
    if (watchdog < 0) {
        close(fds[1]);
        throw std::runtime_error("fork failed");
    }
    m_watchdogPid = watchdog;
    m_watchdogPipe = fds[1];

    const std::string passwordFile = m_socketFolder + "/password";
    std::ofstream(passwordFile) << Password << "\n";
    if (!m_runAs.empty()) {
        const passwd* user = getpwnam("postgres");
        if (chown(passwordFile.c_str(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error(std::string("chown failed: ") + std::strerror(errno));
    }
    const std::string log = m_folder + "/tool.log";
    RunResult r = run(asServerUser({ bin + "/initdb", "-D", m_dataFolder, "-U", User, "--auth=scram-sha-256",
                          "--pwfile=" + passwordFile, "-E", "UTF8", "--locale=C", "--no-sync" }),
        {}, log);
    if (r.exitCode != 0)
        throw std::runtime_error("initdb failed:\n" + r.output);
    // Unix socket only, no fsync: a throw-away server.
    r = run(
        asServerUser({ bin + "/pg_ctl", "start", "-w", "-s", "-D", m_dataFolder, "-l", m_socketFolder + "/server.log",
            "-o", "-k " + m_socketFolder + " -c listen_addresses= -p " + std::to_string(Port) + " -F" }),
        {}, log);
    if (r.exitCode != 0)
        throw std::runtime_error("pg_ctl start failed:\n" + r.output + vl::test::readBytes(m_socketFolder + "/server.log"));
}

PgServer::~PgServer()
{
    stop();
}

void PgServer::stop()
{
    if (m_watchdogPipe >= 0)
        close(m_watchdogPipe);
    m_watchdogPipe = -1;
    if (m_watchdogPid > 0) {
        int status = 0;
        while (waitpid(m_watchdogPid, &status, 0) < 0 && errno == EINTR) { }
    } else if (!m_folder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    m_watchdogPid = -1;
}

PgServer& PgServer::shared()
{
    auto& server = sharedServer();
    if (!server)
        server = std::make_unique<PgServer>();
    return *server;
}

void PgServer::stopShared()
{
    sharedServer().reset();
}

void PgServer::runSql(const std::string& database, std::string_view sql) const
{
    const std::string input = m_folder + "/input.sql";
    std::ofstream(input, std::ios::binary) << sql;
    RunResult r = run({ binaryFolder() + "/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", m_socketFolder, "-p",
                          std::to_string(Port), "-U", User, "-d", database, "-f", input },
        { std::string("PGPASSWORD=") + Password, "PGCLIENTENCODING=UTF8" }, m_folder + "/psql.log");
    if (r.exitCode != 0)
        throw std::runtime_error("psql failed on database " + database + ":\n" + r.output);
}

void PgServer::createDatabase(const std::string& name) const
{
    runSql("postgres", "CREATE DATABASE " + name + " ENCODING 'UTF8' TEMPLATE template0;");
}

void PgServer::loadScript(const std::string& database, const std::string& scriptPath) const
{
    const std::string script = vl::test::readBytes(scriptPath);
    if (script.empty())
        throw std::runtime_error("cannot read " + scriptPath);
    runSql(database, postgresScript(script));
}

const std::string& PgServer::sampleDatabase()
{
    if (m_sampleDatabase.empty()) {
        createDatabase("vlsample");
        loadScript("vlsample", std::string(VL_SOURCE_DIR) + "/samples/test.sql");
        m_sampleDatabase = "vlsample";
    }
    return m_sampleDatabase;
}

std::string PgServer::connectionString(const std::string& database, std::string_view password) const
{
    std::string driver = odbcDriver("PostgreSQL Unicode", "psqlodbcw.so");
    return "Provider=MSDASQL;Driver=" + driver + ";Server=" + m_socketFolder + ";Port=" + std::to_string(Port)
        + ";Database=" + database + ";UID=" + User + ";PWD=" + std::string(password) + ";BoolsAsChar=0";
}

std::string odbcDriver(const std::string& name, const std::string& library)
{
    SQLHENV env = SQL_NULL_HENV;
    bool registered = false;
    if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) == SQL_SUCCESS) {
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLCHAR description[256], attributes[1024];
        SQLSMALLINT descriptionLength = 0, attributesLength = 0;
        SQLUSMALLINT direction = SQL_FETCH_FIRST;
        while (SQL_SUCCEEDED(SQLDriversA(env, direction, description, sizeof description, &descriptionLength,
            attributes, sizeof attributes, &attributesLength))) {
            direction = SQL_FETCH_NEXT;
            if (name == reinterpret_cast<const char*>(description))
                registered = true;
        }
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    if (registered)
        return "{" + name + "}";
    for (const char* folder :
        { "/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/", "/usr/lib/odbc/" })
        if (access((std::string(folder) + library).c_str(), R_OK) == 0)
            return std::string(folder) + library;
    return {};
}

} // namespace vl::test
