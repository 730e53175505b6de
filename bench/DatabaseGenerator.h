#pragma once
// Deterministic sample-shaped databases for the benchmarks: Bas_Department with the nine columns
// of the window's departments data set and Bas_Employee with eight columns.

#include <string>

namespace vl::bench {

struct DatabaseSize {
    const char* name;
    int departments;
    int employees;
};

// Creates (or replaces) the SQLite file at path; the same size always gives the same bytes of
// data. Raises std::runtime_error with SQLite's message on failure.
void generateDatabase(const std::string& path, const DatabaseSize& size);

// The file for size inside folder, generated when missing.
std::string cachedDatabase(const std::string& folder, const DatabaseSize& size);

inline constexpr const char* DepartmentQuery = "select * from Bas_Department order by deptno";
inline constexpr const char* EmployeeQuery = "select * from Bas_Employee order by deptno";

} // namespace vl::bench
