#pragma once
// The data document of the engine's benchmarks, generated deterministically: departments as master
// rows, employees as detail rows, each department's employees women first, then men, as a query sorted
// by sex gives them. `encoding` is what the declaration names (the text itself is UTF-8).

#include <string>

namespace vl::bench {

inline std::string generatedDocument(int departments, int employees, const char* encoding = "UTF-8")
{
    std::string xml = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n<DocumentData>\n<Master>\n";
    for (int d = 0; d < departments; ++d)
        xml += "<Row DeptNo=\"" + std::to_string(d + 1) + "\" DeptName=\"部门" + std::to_string(d + 1) + "\" DeptCode=\"D"
             + std::to_string(d + 1) + "\" PathName=\"总公司/部门" + std::to_string(d + 1) + "\"/>\n";
    xml += "</Master>\n<Detail>\n";
    const int perDepartment = employees / departments;
    for (int e = 0; e < employees; ++e)
        xml += "<Row __MasterIdx=\"" + std::to_string(e % departments) + "\" EmpNo=\"" + std::to_string(100000 + e)
             + "\" EmpName=\"员工" + std::to_string(e) + "\" Sex=\"" + (e / departments < perDepartment / 2 ? "女" : "男")
             + "\" Birthday=\"1980-0" + std::to_string(e % 9 + 1) + "-15\" Salary=\"" + std::to_string(3000 + e % 7000)
             + ".50\"/>\n";
    xml += "</Detail>\n</DocumentData>\n";
    return xml;
}

} // namespace vl::bench
