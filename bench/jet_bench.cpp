// Reading a genuine Jet 4 file of 300 000 employees through the provider "Microsoft.Jet.OLEDB.4.0":
// open, run the window's employee query (whole table, ordered) and touch every cell.
//
//   jet_bench [benchmark options]
//
// The file is written once by the project's Jet writer into <build>/bench-data.

#include "PeakMemory.h"

#include "DateTimeFormat.h"
#include "JetWriter.h"
#include "Provider.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace
{

constexpr int Departments = 1000;
constexpr int Employees = 300000;

class Random
{
public:
    explicit Random(uint64_t seed)
        : m_state(seed)
    {
    }
    int below(int n)
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>(static_cast<uint32_t>(m_state >> 33) % static_cast<uint32_t>(n));
    }

private:
    uint64_t m_state;
};

// The generator's two tables in Jet's own types: amounts as currency, dates as dates, notes as memos.
std::string jetDatabase()
{
    const std::string path = std::string(VL_BENCH_DATA_DIR) + "/bench-jet-300k.mdb";
    if (std::filesystem::exists(path))
        return path;
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    vl::jet::TableDefinition departments { "Bas_Department",
        { { "ID", F::LongInteger, 0, true }, { "DeptNo", F::LongInteger }, { "DeptName", F::Text, 20 },
            { "ParentNo", F::LongInteger } },
        {} };
    for (int d = 0; d < Departments; ++d)
        departments.rows.push_back({ V::ofInteger(d + 1), V::ofInteger((d + 1) * 10),
            V::ofText("Department " + std::to_string(d + 1)), V::ofInteger(d == 0 ? 0 : ((d - 1) / 4 + 1) * 10) });
    const char* const surnames[] = { "Zhang", "Wang", "Li", "Zhao", "Chen", "Smith", "M\xC3\xBCller", "O'Brien" };
    const char* const titles[] = { "Clerk", "Engineer", "Sales & Marketing", "Manager", "R<D lead", "Driver" };
    vl::jet::TableDefinition employees { "Bas_Employee",
        { { "ID", F::LongInteger, 0, true }, { "EmpNo", F::Text, 20 }, { "EmpName", F::Text, 40 },
            { "DeptNo", F::LongInteger }, { "Title", F::Text, 40 }, { "Salary", F::Currency },
            { "HireDate", F::DateTime }, { "Note", F::Memo } },
        {} };
    Random random(20240601);
    employees.rows.reserve(Employees);
    for (int e = 0; e < Employees; ++e)
        employees.rows.push_back({ V::ofInteger(e + 1), V::ofText("E" + std::to_string(1000000 + e)),
            V::ofText(surnames[random.below(8)]), V::ofInteger((random.below(Departments) + 1) * 10),
            V::ofText(titles[random.below(6)]), V::ofCurrency(30000000 + random.below(90000000)),
            V::ofDate(vl::encodeDayNumber(1990 + random.below(34), 1 + random.below(12), 1 + random.below(28))),
            random.below(4) == 0 ? V::null() : V::ofText("Joined from branch " + std::to_string(random.below(50))) });
    std::filesystem::create_directories(VL_BENCH_DATA_DIR);
    vl::jet::writeDatabaseFile(path, { departments, employees });
    return path;
}

void readAll(benchmark::State& state, const char* command)
{
    const std::string connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + jetDatabase();
    vl::bench::resetPeakMemory();
    const double before = vl::bench::peakMemory();
    std::size_t rows = 0;
    for (auto _ : state) {
        auto db = vl::openProviderConnection(connection);
        auto result = db->execute(command);
        rows = result->rowCount();
        int64_t sum = 0;
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < result->columns().size(); ++c)
                sum += static_cast<int64_t>(result->cell(r, c).kind);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["rows/s"] = benchmark::Counter(
        static_cast<double>(rows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MB"] = vl::bench::peakMemory() / 1e6;
    state.counters["extra_peak_MB"] = (vl::bench::peakMemory() - before) / 1e6;
}

void BM_JetEmployees(benchmark::State& state)
{
    readAll(state, "select * from Bas_Employee order by deptno");
}
BENCHMARK(BM_JetEmployees)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_JetEmployeesUnordered(benchmark::State& state)
{
    readAll(state, "select * from Bas_Employee");
}
BENCHMARK(BM_JetEmployeesUnordered)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Each employee with the name of its department: a join, the 1 000 departments scanned inside.
void BM_JetEmployeesWithDepartment(benchmark::State& state)
{
    readAll(state,
        "select e.EmpNo, e.EmpName, d.DeptName from Bas_Employee e join Bas_Department d on d.DeptNo = e.DeptNo "
        "order by e.DeptNo");
}
BENCHMARK(BM_JetEmployeesWithDepartment)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
