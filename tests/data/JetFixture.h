#pragma once
// Jet 4 fixtures of the data layer's tests: a database with a column of every type the writer
// knows, written by the project's own writer, and a runner of mdbtools' command-line tools.

#include "DateTimeFormat.h"
#include "JetWriter.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vl::test
{

inline std::string longText(std::size_t characters, const std::string& unit)
{
    std::string out;
    while (out.size() < characters * unit.size())
        out += unit;
    return out;
}

// "Everything": one column per type, three rows: typical values, extremes and nulls.
inline std::vector<jet::TableDefinition> allTypesTables()
{
    using F = jet::FieldType;
    using V = jet::Value;
    jet::TableDefinition t;
    t.name = "Everything";
    t.columns
        = { { "ID", F::LongInteger, 0, true }, { "Flag", F::Boolean }, { "Small", F::Byte }, { "Short", F::Integer },
              { "Long", F::LongInteger }, { "Money", F::Currency }, { "Single", F::Single }, { "Double", F::Double },
              { "When", F::DateTime }, { "Bin", F::Binary, 8 }, { "Name", F::Text, 30 }, { "Picture", F::OleObject },
              { "Notes", F::Memo }, { "Guid", F::ReplicationId }, { "Amount", F::Numeric, 0, false, 18, 3 } };
    std::string bytes;
    for (int i = 0; i < 10000; ++i)
        bytes += static_cast<char>(i * 7 % 256);
    t.rows.push_back({ V::null(), V::ofInteger(-1), V::ofInteger(200), V::ofInteger(-12345), V::ofInteger(2000000000),
        V::ofCurrency(-123456), V::ofReal(0.1), V::ofReal(3.141592653589793),
        V::ofDate(encodeDayNumber(2023, 3, 1, 8, 30)), V::ofBytes(std::string("\x00\x01\xfe\xff", 4)),
        V::ofText("徐静 & <A>"), V::ofBytes(bytes), V::ofText(longText(12000, "备注note")),
        V::ofText("{12345678-9ABC-DEF0-1122-334455667788}"), V::ofCurrency(123456780) });
    t.rows.push_back({ V::null(), V::ofInteger(0), V::ofInteger(0), V::ofInteger(32767), V::ofInteger(-2147483647 - 1),
        V::ofCurrency(9223372036854775807), V::ofReal(-1e30), V::ofReal(-0.0), V::ofDate(-1.5), V::ofBytes(""),
        V::ofText(""), V::ofBytes("x"), V::ofText(longText(1500, "ab")), V::null(), V::ofCurrency(-5) });
    t.rows.push_back({ V::null(), V::null(), V::null(), V::null(), V::null(), V::null(), V::null(), V::null(),
        V::null(), V::null(), V::null(), V::null(), V::null(), V::null(), V::null() });
    jet::TableDefinition empty;
    empty.name = "Nothing Here";
    empty.columns = { { "A", F::Text, 10 } };
    return { t, empty };
}

// Output of a command line (stdout only); exitCode set from the shell.
inline std::string runTool(const std::string& command, int* exitCode = nullptr)
{
    std::string output;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return output;
    char chunk[65536];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    const int status = pclose(pipe);
    if (exitCode)
        *exitCode = status;
    return output;
}

inline bool haveMdbTools()
{
    return runTool("command -v mdb-export").find("mdb-export") != std::string::npos;
}

} // namespace vl::test
