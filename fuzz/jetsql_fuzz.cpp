// The command text of Jet files: parsed, and when it parses, run over a small fixed table with columns
// of every kind the reader delivers, so that binding, the typed comparisons and the ordering are
// reached too. Only the runtime's Exception hierarchy may leave a run.

#include "JetSql.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using vl::ProviderCell;

class Table final : public vl::ProviderResult {
public:
    Table()
    {
        column("ID", vl::adInteger);
        column("Name", vl::adVarWChar);
        column("Dept No", vl::adSmallInt);
        column("Salary", vl::adCurrency);
        column("Hired", vl::adDate);
        column("Married", vl::adBoolean);
        column("Rate", vl::adDouble);
        column("Photo", vl::adLongVarBinary);
        const ProviderCell null;
        m_rows.push_back({ integer(1), text("bob"), integer(10), money(15000), date(vl::encodeDayNumber(2020, 1, 2)),
                           integer(-1), real(0.5), bytes("\x89PNG") });
        m_rows.push_back({ integer(2), text("Alice"), integer(9), money(125000), null, integer(0), real(-1e308), null });
        m_rows.push_back({ integer(3), null, integer(10), null, date(vl::encodeDayNumber(2019, 5, 6, 8, 30)),
                           integer(0), null, null });
        m_rows.push_back({ integer(-2147483648LL), text("\xc3\xa4lice"), null, money(-5),
                           date(vl::encodeDayNumber(1899, 12, 30)), integer(-1), real(1e-300), null });
        m_rows.push_back({ integer(5), text(""), integer(-32768), money(INT64_MIN), date(-657434), integer(0), null,
                           bytes("") });
    }

    const std::vector<vl::ProviderColumn>& columns() const override { return m_columns; }
    std::size_t rowCount() const override { return m_rows.size(); }
    ProviderCell cell(std::size_t row, std::size_t column) const override { return m_rows[row][column]; }

private:
    void column(std::string name, int type)
    {
        vl::ProviderColumn c;
        c.name = std::move(name);
        c.type = type;
        m_columns.push_back(c);
    }
    // Text and bytes cells hold literals, which outlive the table.
    static ProviderCell text(std::string_view value) { return vl::textCell(value); }
    static ProviderCell bytes(std::string_view value) { return vl::bytesCell(value); }
    static ProviderCell integer(int64_t value) { return vl::integerCell(value); }
    static ProviderCell money(int64_t value) { return vl::currencyCell(value); }
    static ProviderCell real(double value) { return vl::floatCell(value); }
    static ProviderCell date(double value) { return vl::dateCell(value); }

    std::vector<vl::ProviderColumn> m_columns;
    std::vector<std::vector<ProviderCell>> m_rows;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::shared_ptr<const Table> table = std::make_shared<Table>();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const vl::jetsql::ParseResult parsed = vl::jetsql::parseSelect(text);
    if (!parsed) {
        // A refusal says why and where, inside the text or just after its end.
        if (parsed.statement || parsed.position < 1 || parsed.position > size + 1)
            std::abort();
        return 0;
    }
    if (!parsed.statement)
        std::abort();
    std::unique_ptr<vl::ProviderResult> result;
    try {
        result = vl::jetsql::runSelect(*parsed.statement, table);
    } catch (const Exception&) {
        return 0; // a column the table lacks, a literal of the wrong type
    }
    if (!result || result->rowCount() > table->rowCount())
        std::abort();
    const std::size_t columns = result->columns().size();
    for (std::size_t row = 0; row < result->rowCount(); ++row)
        for (std::size_t column = 0; column < columns; ++column)
            (void)result->cell(row, column);
    return 0;
}
