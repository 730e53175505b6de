#include "DatabaseGenerator.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>

namespace vl::bench {
namespace {

class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) { }
    uint32_t next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(m_state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }

private:
    uint64_t m_state;
};

void check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

void exec(sqlite3* db, const char* sql) { check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

void bindText(sqlite3_stmt* st, int index, const std::string& text)
{
    sqlite3_bind_text(st, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

const char* const Surnames[] = { "Zhang", "Wang", "Li", "Zhao", "Chen", "Smith", "M\xC3\xBCller", "O'Brien" };
const char* const Given[] = { "Wei", "Fang", "Anna", "Jos\xC3\xA9", "Lei", "Mary", "Jun", "Ole" };
const char* const Titles[] = { "Clerk", "Engineer", "Sales & Marketing", "Manager", "R<D lead", "Driver" };

} // namespace

void generateDatabase(const std::string& path, const DatabaseSize& size)
{
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "cannot open " + path;
        sqlite3_close(db);
        throw std::runtime_error(message);
    }
    try {
        exec(db, "pragma journal_mode=off; pragma synchronous=off; begin");
        exec(db, "create table Bas_Department (ID integer primary key autoincrement, DeptNo integer, "
                 "DeptName varchar(20), DeptCode varchar(20), ParentNo integer, PathNo text, PathName text, "
                 "Level integer, Ord integer)");
        exec(db, "create table Bas_Employee (ID integer primary key autoincrement, EmpNo varchar(20), "
                 "EmpName varchar(40), DeptNo integer, Title varchar(40), Salary double, HireDate datetime, "
                 "Note text)");
        Random random(20240601);
        sqlite3_stmt* dept = nullptr;
        check(db, sqlite3_prepare_v2(db,
                                     "insert into Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, "
                                     "PathName, Level, Ord) values (?,?,?,?,?,?,?,?)",
                                     -1, &dept, nullptr));
        for (int d = 0; d < size.departments; ++d) {
            const int deptNo = (d + 1) * 10;
            const int parent = d == 0 ? 0 : ((d - 1) / 4 + 1) * 10;
            sqlite3_bind_int(dept, 1, deptNo);
            bindText(dept, 2, "Department " + std::to_string(d + 1));
            bindText(dept, 3, "D" + std::to_string(100000 + d));
            sqlite3_bind_int(dept, 4, parent);
            bindText(dept, 5, "/" + std::to_string(parent) + "/" + std::to_string(deptNo));
            bindText(dept, 6, std::string("Head office/") + (d % 3 == 0 ? "Sales & \"Export\"" : "Works"));
            sqlite3_bind_int(dept, 7, d == 0 ? 0 : 1 + d % 3);
            sqlite3_bind_int(dept, 8, d);
            check(db, sqlite3_step(dept));
            sqlite3_reset(dept);
        }
        sqlite3_finalize(dept);

        sqlite3_stmt* emp = nullptr;
        check(db, sqlite3_prepare_v2(db,
                                     "insert into Bas_Employee (EmpNo, EmpName, DeptNo, Title, Salary, HireDate, "
                                     "Note) values (?,?,?,?,?,?,?)",
                                     -1, &emp, nullptr));
        char date[32];
        for (int e = 0; e < size.employees; ++e) {
            bindText(emp, 1, "E" + std::to_string(1000000 + e));
            bindText(emp, 2, std::string(Surnames[random.below(8)]) + " " + Given[random.below(8)]);
            // A few employees belong to no department and are left out of the document.
            const int dept = random.below(size.departments + 1);
            sqlite3_bind_int(emp, 3, dept == size.departments ? 5 : (dept + 1) * 10);
            bindText(emp, 4, Titles[random.below(6)]);
            sqlite3_bind_double(emp, 5, 3000 + random.below(900000) / 100.0);
            std::snprintf(date, sizeof date, "%04d-%02d-%02d", 1990 + random.below(34), 1 + random.below(12),
                          1 + random.below(28));
            bindText(emp, 6, date);
            if (random.below(4) == 0)
                sqlite3_bind_null(emp, 7);
            else
                bindText(emp, 7, "Joined from branch " + std::to_string(random.below(50)));
            check(db, sqlite3_step(emp));
            sqlite3_reset(emp);
        }
        sqlite3_finalize(emp);
        exec(db, "commit");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

std::string cachedDatabase(const std::string& folder, const DatabaseSize& size)
{
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/bench-" + size.name + ".mdb";
    if (!std::filesystem::exists(path)) {
        const std::string partial = path + ".part";
        generateDatabase(partial, size);
        std::filesystem::rename(partial, path);
    }
    return path;
}

} // namespace vl::bench
