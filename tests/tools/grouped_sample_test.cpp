// The grouped sample (samples/grouped.vld) rendered by vlreport over the sample database and read back
// from the PDF: every total it prints, per sex within a department, per department, per page and
// carried forward, is held against the database itself, asked through SQLite apart from the tool.

#include "ChildProcess.h"
#include "CommandOutput.h"
#include "SampleFolder.h"
#include "SqliteFixture.h"

#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sqlite3.h>
#include <sstream>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using vl::test::commandOutput;
using vl::test::withoutSpace;

struct Totals {
    long long count = 0;
    long long cents = 0; // salaries in hundredths, so sums compare exactly
    bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& totals)
{
    return out << "{" << totals.count << " rows, " << totals.cents << " cents}";
}

// Page totals: the page's own sum and the running sum at its foot.
struct PageTotals {
    long long pageCents = 0;
    long long runningCents = 0;
    bool operator==(const PageTotals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PageTotals& totals)
{
    return out << "{page " << totals.pageCents << ", running " << totals.runningCents << "}";
}

// What the sample prints for an employee without a sex.
const std::string NoSex = "未填";

const std::vector<std::string> GroupedQueries
    = { "--master", "select * from Bas_Department order by deptno", "--detail", "Detail",
        "select * from Bas_Employee order by deptno, sex, empno", "--relation", "DeptNo=DeptNo" };

long long centsOf(double amount)
{
    return std::llround(amount * 100);
}

// "16,000.25" as 1600025.
long long centsOf(const std::string& printed)
{
    std::string digits;
    for (const char c : printed)
        if (c != ',')
            digits += c;
    return centsOf(std::stod(digits));
}

// The SQLite build of the sample database, read-only.
class SampleDatabase {
public:
    SampleDatabase()
    {
        if (sqlite3_open_v2(VL_RUN_DIR "/sqlite/test.mdb", &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open the sample database: " << sqlite3_errmsg(m_db);
    }
    ~SampleDatabase() { sqlite3_close(m_db); }
    SampleDatabase(const SampleDatabase&) = delete;
    SampleDatabase& operator=(const SampleDatabase&) = delete;

    // Each row's columns as text (NULL as empty text), in the query's order.
    std::vector<std::vector<std::string>> rows(const std::string& sql) const
    {
        std::vector<std::vector<std::string>> result;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
            return result;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = sqlite3_column_text(statement, i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            result.push_back(std::move(row));
        }
        sqlite3_finalize(statement);
        return result;
    }

private:
    sqlite3* m_db = nullptr;
};

// Only employees of a department print: the report's rows hang under the master rows.
const std::string PrintedEmployees
    = "from Bas_Employee e join Bas_Department d on d.DeptNo = e.DeptNo ";

// What the PDF prints, read line by line in page order.
struct PrintedReport {
    std::map<std::pair<std::string, std::string>, Totals> sexFooters; // (department, sex)
    std::map<std::string, Totals> departmentFooters;
    std::map<int, PageTotals> pageFooters;
    std::map<int, std::vector<std::string>> employeesByPage; // employee numbers
    std::vector<Totals> summaries;
    std::vector<std::string> unread; // lines of totals that matched no rule
};

PrintedReport readReport(const std::string& pdf, int pages)
{
    static const std::regex department("^部门：(.*)编码：.*$");
    static const std::regex employee("^(\\d{4})\\D.*$");
    static const std::regex sexFooter("^(.*)小计：(\\d+)人([\\d,.]+)$");
    static const std::regex departmentFooter("^本部门合计：(\\d+)人([\\d,.]+)$");
    static const std::regex summary("^全部员工：(\\d+)人([\\d,.]+)$");
    static const std::regex pageSum("^本页工资：([\\d,.]+)$");
    static const std::regex runningSum("^第\\d+页，共\\d+页累计工资：([\\d,.]+)$");

    PrintedReport report;
    std::string currentDepartment;
    for (int page = 1; page <= pages; ++page) {
        const std::string number = std::to_string(page);
        std::istringstream lines(commandOutput("pdftotext -q -enc UTF-8 -layout -f " + number + " -l " + number
                                               + " '" + pdf + "' -"));
        for (std::string line; std::getline(lines, line);) {
            line = withoutSpace(line);
            std::smatch m;
            if (std::regex_match(line, m, department)) {
                currentDepartment = m[1];
            } else if (std::regex_match(line, m, employee)) {
                report.employeesByPage[page].push_back(m[1]);
            } else if (std::regex_match(line, m, departmentFooter)) {
                report.departmentFooters[currentDepartment] = { std::stoll(m[1]), centsOf(m[2].str()) };
            } else if (std::regex_match(line, m, summary)) {
                report.summaries.push_back({ std::stoll(m[1]), centsOf(m[2].str()) });
            } else if (std::regex_match(line, m, sexFooter)) {
                const std::string sex = m[1] == NoSex ? std::string() : m[1].str();
                report.sexFooters[{ currentDepartment, sex }] = { std::stoll(m[2]), centsOf(m[3].str()) };
            } else if (std::regex_match(line, m, pageSum)) {
                report.pageFooters[page].pageCents = centsOf(m[1].str());
            } else if (std::regex_match(line, m, runningSum)) {
                report.pageFooters[page].runningCents = centsOf(m[1].str());
            } else if (line.find("工资") != std::string::npos && line.find("：") != std::string::npos) {
                report.unread.push_back(line);
            }
        }
    }
    return report;
}

class GroupedSample : public testing::Test {
protected:
    void SetUp() override
    {
        folder = fixture.folder();
        vl::test::copySample(folder, "grouped.vld");
    }

    // Renders the sample to grouped.pdf and gives its page count (0 on failure).
    int render()
    {
        std::vector<std::string> arguments = { "grouped.vld" };
        arguments.insert(arguments.end(), GroupedQueries.begin(), GroupedQueries.end());
        arguments.insert(arguments.end(), { "--pdf", "grouped.pdf", "--stats" });
        const vl::test::RunResult r = vl::test::runProgram(VLREPORT_PATH, arguments, folder, {},
            { { "QT_QPA_PLATFORM", "xcb" }, { "DISPLAY", "" } });
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::smatch m;
        if (!std::regex_search(r.out, m, std::regex("^pages: (\\d+)\n")))
            return 0;
        return std::stoi(m[1]);
    }

    vl::test::FixtureDatabase fixture;
    std::string folder;
    SampleDatabase db;
};

TEST_F(GroupedSample, EveryGroupAndDepartmentTotalIsTheDatabases)
{
    const int pages = render();
    ASSERT_GT(pages, 1) << "the sample should span pages, so that groups and totals cross them";
    const PrintedReport printed = readReport(folder + "/grouped.pdf", pages);
    EXPECT_TRUE(printed.unread.empty()) << "a total in an unexpected form: " << printed.unread.front();

    std::map<std::pair<std::string, std::string>, Totals> sexTotals;
    for (const auto& row : db.rows("select d.DeptName, coalesce(e.Sex, ''), count(*), total(e.Salary) "
                                   + PrintedEmployees + "group by d.DeptNo, coalesce(e.Sex, '')"))
        sexTotals[{ withoutSpace(row[0]), row[1] }] = { std::stoll(row[2]), centsOf(std::stod(row[3])) };
    ASSERT_GT(sexTotals.size(), 10u);
    EXPECT_EQ(printed.sexFooters, sexTotals);

    std::map<std::string, Totals> departmentTotals;
    for (const auto& row : db.rows("select d.DeptName, count(*), total(e.Salary) " + PrintedEmployees
                                   + "group by d.DeptNo"))
        departmentTotals[withoutSpace(row[0])] = { std::stoll(row[1]), centsOf(std::stod(row[2])) };
    EXPECT_EQ(printed.departmentFooters, departmentTotals);

    const auto all = db.rows("select count(*), total(e.Salary) " + PrintedEmployees);
    ASSERT_EQ(printed.summaries.size(), 1u);
    EXPECT_EQ(printed.summaries[0], (Totals { std::stoll(all[0][0]), centsOf(std::stod(all[0][1])) }));
}

TEST_F(GroupedSample, EveryPageFooterSumsItsPageAndCarriesTheTotal)
{
    const int pages = render();
    ASSERT_GT(pages, 1);
    const PrintedReport printed = readReport(folder + "/grouped.pdf", pages);

    // Each employee of a department prints once, on some page.
    std::set<std::string> expectedEmployees;
    for (const auto& row : db.rows("select e.EmpNo " + PrintedEmployees))
        expectedEmployees.insert(row[0]);
    std::multiset<std::string> printedEmployees;
    for (const auto& [page, employees] : printed.employeesByPage)
        printedEmployees.insert(employees.begin(), employees.end());
    EXPECT_EQ(printedEmployees, (std::multiset<std::string>(expectedEmployees.begin(), expectedEmployees.end())));

    // The page's sum is the database's over the employees that page shows; the running sum adds the pages.
    std::map<int, PageTotals> expected;
    long long running = 0;
    for (int page = 1; page <= pages; ++page) {
        std::string numbers;
        const auto found = printed.employeesByPage.find(page);
        if (found != printed.employeesByPage.end())
            for (const std::string& number : found->second)
                numbers += (numbers.empty() ? "'" : ",'") + number + "'";
        const long long pageCents
            = centsOf(std::stod(db.rows("select total(Salary) from Bas_Employee where EmpNo in (" + numbers + ")")[0][0]));
        running += pageCents;
        expected[page] = { pageCents, running };
    }
    EXPECT_EQ(printed.pageFooters, expected);
    EXPECT_EQ(running, centsOf(std::stod(db.rows("select total(e.Salary) " + PrintedEmployees)[0][0])));
}

} // namespace
