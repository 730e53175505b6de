// Throughput of the data document: GetXML over open data sets, vldata end to end, and a plain
// SQLite scan of the same two queries as the floor.
//
//   xmldata_bench [--vl_large] [benchmark options]
//
// The databases are generated once into <build>/bench-data.

#include "DatabaseGenerator.h"
#include "DataLayer.h"
#include "PeakMemory.h"
#include "VLDataSDK.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using vl::bench::DatabaseSize;

constexpr DatabaseSize Sizes[] = { { "small", 10, 50 }, { "medium", 1000, 100000 }, { "large", 10000, 1000000 } };

std::string databaseFor(const DatabaseSize& size) { return vl::bench::cachedDatabase(VL_BENCH_DATA_DIR, size); }

using vl::bench::peakMemory;
using vl::bench::resetPeakMemory;

void setRates(benchmark::State& state, double bytesPerIteration, double rowsPerIteration)
{
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["MB/s"] = benchmark::Counter(bytesPerIteration * iterations / 1e6, benchmark::Counter::kIsRate);
    state.counters["rows/s"] = benchmark::Counter(rowsPerIteration * iterations, benchmark::Counter::kIsRate);
}

void BM_GetXML(benchmark::State& state, const DatabaseSize* size)
{
    const std::string path = databaseFor(*size);
    vl::bench::OpenDatabase db(path);
    resetPeakMemory();
    const double before = peakMemory();
    size_t bytes = 0;
    for (auto _ : state) {
        TXMLDataSource source(nullptr);
        source.SetEncoding("GB2312");
        source.SetMaster(db.master(), "");
        source.AddDetail("Detail", db.detail(), "DeptNo=DeptNo", "");
        std::string document = source.GetXML();
        bytes = document.size();
        benchmark::DoNotOptimize(document.data());
    }
    setRates(state, static_cast<double>(bytes), size->departments + size->employees);
    state.counters["doc_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_MB"] = peakMemory() / 1e6;
    state.counters["extra_peak_MB"] = (peakMemory() - before) / 1e6;
}

// Runs vldata -o FILE as the scripts would; the child's peak memory comes from wait4.
void BM_Vldata(benchmark::State& state, const DatabaseSize* size)
{
    const std::string path = databaseFor(*size);
    const std::string output = std::string(VL_BENCH_DATA_DIR) + "/vldata-" + size->name + ".xml";
    const std::string connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
    std::vector<std::string> args = { VL_VLDATA_PATH, "--connection", connection, "--encoding", "GB2312",
                                      "--master", vl::bench::DepartmentQuery, "--detail", "Detail",
                                      vl::bench::EmployeeQuery, "--relation", "DeptNo=DeptNo", "-o", output };
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    long peakKb = 0;
    double childCpuMs = 0;
    for (auto _ : state) {
        // The file of the run before is written back to disk by the system after vldata ends; that
        // belongs to no run, and is let finish before the next one starts (and before the
        // benchmarks after this one).
        state.PauseTiming();
        ::sync();
        state.ResumeTiming();
        // A spawned child starts from this process's high-water mark; make that our current size.
        resetPeakMemory();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start vldata");
            return;
        }
        int status = 0;
        rusage usage {};
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vldata failed");
            return;
        }
        peakKb = std::max(peakKb, usage.ru_maxrss);
        childCpuMs += (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                       + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    }
    const auto bytes = static_cast<double>(std::filesystem::file_size(output));
    setRates(state, bytes, size->departments + size->employees);
    state.counters["peak_MB"] = static_cast<double>(peakKb) * 1024 / 1e6;
    state.counters["child_cpu_ms"] = childCpuMs / static_cast<double>(state.iterations());
    std::filesystem::remove(output);
    ::sync();
}

// The floor: both queries stepped through, every column read as text, nothing written.
void BM_SqliteScan(benchmark::State& state, const DatabaseSize* size)
{
    const std::string path = databaseFor(*size);
    resetPeakMemory();
    size_t textBytes = 0;
    for (auto _ : state) {
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            state.SkipWithError("cannot open database");
            return;
        }
        textBytes = 0;
        for (const char* sql : { vl::bench::DepartmentQuery, vl::bench::EmployeeQuery }) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
            const int columns = sqlite3_column_count(st);
            while (sqlite3_step(st) == SQLITE_ROW)
                for (int c = 0; c < columns; ++c) {
                    benchmark::DoNotOptimize(sqlite3_column_text(st, c));
                    textBytes += static_cast<size_t>(sqlite3_column_bytes(st, c));
                }
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
    }
    setRates(state, static_cast<double>(textBytes), size->departments + size->employees);
    state.counters["peak_MB"] = peakMemory() / 1e6;
}

// Relating cost per detail row as the master grows: one lookup each, whatever the key count.
void BM_KeyLookup(benchmark::State& state)
{
    const int masterRows = static_cast<int>(state.range(0));
    vl::KeyList keys;
    for (int i = 0; i < masterRows; ++i)
        keys.append(std::to_string(i * 10));
    keys.find("0");
    int i = 0;
    std::string probe;
    for (auto _ : state) {
        probe = std::to_string((i++ % masterRows) * 10);
        benchmark::DoNotOptimize(keys.find(probe));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyLookup)->Arg(10)->Arg(1000)->Arg(100000)->Arg(1000000);

// The same in the writer's order: detail rows come sorted by their key, about a hundred per master
// row, so consecutive lookups meet the same entry.
void BM_KeyLookupInOrder(benchmark::State& state)
{
    const int masterRows = static_cast<int>(state.range(0));
    vl::KeyList keys;
    std::vector<std::string> probes;
    for (int i = 0; i < masterRows; ++i) {
        keys.append(std::to_string(i * 10));
        probes.push_back(std::to_string(i * 10));
    }
    keys.find("0");
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(keys.find(probes[(i++ / 100) % probes.size()]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyLookupInOrder)->Arg(10)->Arg(1000)->Arg(100000);

} // namespace

int main(int argc, char** argv)
{
    bool large = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--vl_large") == 0)
            large = true;
        else
            rest.push_back(argv[i]);
    }
    for (const DatabaseSize& size : Sizes) {
        if (!large && std::strcmp(size.name, "large") == 0)
            continue;
        const bool quick = std::strcmp(size.name, "small") == 0;
        // vldata first, while this process is still small (see BM_Vldata).
        auto* v = benchmark::RegisterBenchmark((std::string("Vldata/") + size.name).c_str(), BM_Vldata, &size);
        auto* g = benchmark::RegisterBenchmark((std::string("GetXML/") + size.name).c_str(), BM_GetXML, &size);
        auto* s = benchmark::RegisterBenchmark((std::string("SqliteScan/") + size.name).c_str(), BM_SqliteScan, &size);
        for (auto* b : { v, g, s }) {
            b->Unit(benchmark::kMillisecond)->UseRealTime();
            if (!quick)
                b->Iterations(std::strcmp(size.name, "large") == 0 ? 2 : 5);
        }
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
