// vldata over the generated databases, once from the SQLite file and once from the same rows in
// a PostgreSQL server of its own, read through the provider MSDASQL and the PostgreSQL ODBC driver.
// Usage: odbc_bench [--vl_large] [--runs N]

#include "DatabaseGenerator.h"
#include "PgServer.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

using vl::bench::DatabaseSize;

struct Sample {
    double seconds = 0;
    double cpuSeconds = 0; // vldata's own user and system time, the server's not counted
    double peakMegabytes = 0;
    std::uintmax_t documentBytes = 0;
};

Sample runVldata(const std::string& connection, const std::string& output)
{
    std::vector<std::string> args
        = { VL_VLDATA_PATH, "--connection", connection, "--encoding", "GB2312", "--master", vl::bench::DepartmentQuery,
              "--detail", "Detail", vl::bench::EmployeeQuery, "--relation", "DeptNo=DeptNo", "-o", output };
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("LC_ALL", "C.UTF-8", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    Sample sample;
    sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("vldata failed on " + connection);
    sample.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    sample.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    sample.documentBytes = std::filesystem::file_size(output);
    return sample;
}

// COPY text format: backslash, tab, newline and carriage return escaped; null as \N.
void appendCopyValue(std::string& out, sqlite3_stmt* row, int column)
{
    if (sqlite3_column_type(row, column) == SQLITE_NULL) {
        out += "\\N";
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += *c;
        }
    }
}

// Both tables of the generated file into a new database, column types mapped as the loader of
// the sample script maps them.
void copyIntoPostgres(vl::test::PgServer& server, const std::string& database, const std::string& sqlitePath)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(sqlitePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + sqlitePath);
    server.createDatabase(database);
    for (const char* table : { "Bas_Department", "Bas_Employee" }) {
        std::string create = std::string("CREATE TABLE ") + table + " (";
        std::string columns;
        sqlite3_stmt* info = nullptr;
        sqlite3_prepare_v2(db, (std::string("pragma table_info(") + table + ")").c_str(), -1, &info, nullptr);
        while (sqlite3_step(info) == SQLITE_ROW) {
            const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
            const std::string type = reinterpret_cast<const char*>(sqlite3_column_text(info, 2));
            const bool key = sqlite3_column_int(info, 5) != 0;
            if (!columns.empty()) {
                columns += ", ";
                create += ", ";
            }
            columns += name;
            create += name + " " + (key ? std::string("SERIAL PRIMARY KEY") : vl::test::postgresType(type));
        }
        sqlite3_finalize(info);
        std::string script = create + ");\nCOPY " + table + " (" + columns + ") FROM STDIN;\n";
        sqlite3_stmt* rows = nullptr;
        sqlite3_prepare_v2(db, (std::string("select * from ") + table).c_str(), -1, &rows, nullptr);
        const int width = sqlite3_column_count(rows);
        while (sqlite3_step(rows) == SQLITE_ROW) {
            for (int i = 0; i < width; ++i) {
                if (i)
                    script += '\t';
                appendCopyValue(script, rows, i);
            }
            script += '\n';
        }
        sqlite3_finalize(rows);
        script += "\\.\n";
        server.runSql(database, script);
    }
    server.runSql(database, "ANALYZE;");
    sqlite3_close(db);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    bool large = false;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--vl_large") == 0)
            large = true;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }
    if (vl::test::PgServer::binaryFolder().empty()) {
        std::fprintf(stderr, "odbc_bench: no PostgreSQL server binaries are installed\n");
        return 1;
    }
    static const DatabaseSize sizes[] = { { "medium", 1000, 100000 }, { "large", 10000, 1000000 } };
    try {
        vl::test::PgServer server;
        std::printf(
            "| database | engine | wall time (median of %d) | vldata CPU | rows/s | peak MB | document MB |\n", runs);
        std::printf("|---|---|---|---|---|---|---|\n");
        for (const DatabaseSize& size : sizes) {
            if (!large && std::strcmp(size.name, "large") == 0)
                continue;
            const std::string file = vl::bench::cachedDatabase(VL_BENCH_DATA_DIR, size);
            const std::string database = std::string("bench_") + size.name;
            copyIntoPostgres(server, database, file);
            const std::string output = std::string(VL_BENCH_DATA_DIR) + "/odbc-" + size.name + ".xml";
            const std::pair<const char*, std::string> engines[]
                = { { "SQLite (Jet provider)", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file },
                      { "PostgreSQL (MSDASQL)", server.connectionString(database) },
                      // The driver's cursor mode: rows come in blocks instead of the whole result at once.
                      { "PostgreSQL (MSDASQL, UseDeclareFetch=1)",
                          server.connectionString(database) + ";UseDeclareFetch=1;Fetch=10000" } };
            for (const auto& [engine, connection] : engines) {
                std::vector<double> seconds, cpu, peaks;
                Sample sample;
                for (int r = 0; r < runs; ++r) {
                    sample = runVldata(connection, output);
                    seconds.push_back(sample.seconds);
                    cpu.push_back(sample.cpuSeconds);
                    peaks.push_back(sample.peakMegabytes);
                }
                const double wall = median(seconds);
                std::printf("| %s | %s | %.0f ms | %.0f ms | %.2f M | %.0f | %.1f |\n", size.name, engine, wall * 1000,
                    median(cpu) * 1000, (size.departments + size.employees) / wall / 1e6, median(peaks),
                    static_cast<double>(sample.documentBytes) / 1e6);
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odbc_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
