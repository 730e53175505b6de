// The command text of Jet files: translated from Jet's dialect, then run by SQLite over a small Jet
// file with columns of every kind the reader delivers (named "t" and "My Table", as the seeds
// name them), so that the virtual tables, the typed results and SQLite's refusals are reached.
// Only the runtime's Exception hierarchy may leave a run.

#include "JetDialect.h"
#include "JetWriter.h"
#include "MdbProvider.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace
{

std::string jetFile()
{
    using F = vl::jet::FieldType;
    using V = vl::jet::Value;
    vl::jet::TableDefinition t;
    t.name = "t";
    t.columns = { { "ID", F::LongInteger }, { "Name", F::Text, 20 }, { "Dept No", F::Integer },
        { "Salary", F::Currency }, { "Hired", F::DateTime }, { "Married", F::Boolean }, { "Rate", F::Double },
        { "Photo", F::OleObject }, { "Notes", F::Memo } };
    t.rows = {
        { V::ofInteger(1), V::ofText("bob"), V::ofInteger(10), V::ofCurrency(15000),
            V::ofDate(vl::encodeDayNumber(2020, 1, 2)), V::ofInteger(-1), V::ofReal(0.5), V::ofBytes("\x89PNG"),
            V::ofText("first") },
        { V::ofInteger(2), V::ofText("Alice"), V::ofInteger(9), V::ofCurrency(125000), V::null(), V::ofInteger(0),
            V::ofReal(-1e308), V::null(), V::null() },
        { V::ofInteger(3), V::null(), V::ofInteger(10), V::null(), V::ofDate(vl::encodeDayNumber(2019, 5, 6, 8, 30)),
            V::ofInteger(0), V::null(), V::null(), V::ofText(std::string(3000, 'n')) },
        { V::ofInteger(-2147483647 - 1), V::ofText("\xc3\xa4lice"), V::null(), V::ofCurrency(-5),
            V::ofDate(vl::encodeDayNumber(1899, 12, 30)), V::ofInteger(-1), V::ofReal(1e-300), V::null(),
            V::ofText("\xe5\xa4\x87\xe6\xb3\xa8") },
        { V::ofInteger(5), V::ofText(""), V::ofInteger(-32768), V::ofCurrency(INT64_MIN), V::ofDate(-657434),
            V::ofInteger(0), V::null(), V::ofBytes(""), V::ofText("") },
    };
    vl::jet::TableDefinition named = t;
    named.name = "My Table";
    return vl::jet::buildDatabase({ t, named });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::unique_ptr<vl::ProviderConnection> connection = vl::openJetDatabaseBytes(jetFile(), "fuzz.mdb");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string sqlite;
    vl::TextFault fault;
    if (!vl::translateJetCommand(text, sqlite, fault)) {
        // A refusal says why and where, inside the text.
        if (fault.message.empty() || fault.position < 1 || fault.position > size)
            std::abort();
        return 0;
    }
    std::unique_ptr<vl::ProviderResult> result;
    try {
        result = connection->execute(text);
    } catch (const Exception&) {
        return 0; // refused by SQLite, a value of the wrong type
    }
    if (!result)
        return 0;
    const std::size_t columns = result->columns().size();
    for (std::size_t row = 0; row < result->rowCount(); ++row)
        for (std::size_t column = 0; column < columns; ++column)
            (void)result->cell(row, column);
    return 0;
}
