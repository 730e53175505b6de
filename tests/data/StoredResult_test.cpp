// The store of query results shared by the providers: cells across blocks of rows, texts and bytes
// across blocks of bytes, and the same results read through the file providers.

#include "StoredResult_p.h"

#include "Fixture.h"
#include "JetWriter.h"
#include "MdbProvider.h"

#include "Exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vl;
using Kind = ProviderCell::Kind;

namespace
{

constexpr std::size_t RowsPerBlock = StoredResult::RowsPerBlock;
constexpr std::size_t BytesPerBlock = StoredResult::BytesPerBlock;
constexpr std::size_t LengthSize = sizeof(uint32_t);

ProviderColumn columnNamed(std::string name)
{
    ProviderColumn column;
    column.name = std::move(name);
    return column;
}

StoredResult resultOf(std::size_t columns)
{
    StoredResult result;
    for (std::size_t i = 0; i < columns; ++i)
        result.addColumn(columnNamed(std::string("C").append(std::to_string(i))));
    return result;
}

// A text whose every byte tells where it was stored from: size and seed.
std::string pattern(std::size_t size, char seed)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>(seed + static_cast<char>(i % 23));
    return text;
}

TEST(StoredCells, KeepTheirValuesAcrossBlocksOfRows)
{
    StoredResult result = resultOf(3);
    const std::size_t rows = 2 * RowsPerBlock + 1;
    for (std::size_t row = 0; row < rows; ++row) {
        ASSERT_EQ(result.appendRow(), row);
        result.at(row, 0).setInteger(static_cast<int64_t>(row) * 3 - 7);
        result.at(row, 1).setReal(static_cast<double>(row) + 0.25, row % 2 ? Kind::Date : Kind::Float);
        // Column 2 stays null in every other row.
        if (row % 2 == 0)
            result.at(row, 2).setInteger(static_cast<int64_t>(row), Kind::Currency);
    }
    ASSERT_EQ(result.rowCount(), rows);
    for (std::size_t row :
        { std::size_t(0), RowsPerBlock - 1, RowsPerBlock, RowsPerBlock + 1, 2 * RowsPerBlock - 1, 2 * RowsPerBlock }) {
        SCOPED_TRACE(row);
        ProviderCell first = result.cell(row, 0);
        EXPECT_EQ(first.kind, Kind::Integer);
        EXPECT_EQ(first.integer, static_cast<int64_t>(row) * 3 - 7);
        ProviderCell second = result.cell(row, 1);
        EXPECT_EQ(second.kind, row % 2 ? Kind::Date : Kind::Float);
        EXPECT_EQ(second.real, static_cast<double>(row) + 0.25);
        EXPECT_EQ(second.integer, 0);
        ProviderCell third = result.cell(row, 2);
        if (row % 2 == 0) {
            EXPECT_EQ(third.kind, Kind::Currency);
            EXPECT_EQ(third.integer, static_cast<int64_t>(row));
        } else {
            EXPECT_EQ(third.kind, Kind::Null);
            EXPECT_EQ(third.integer, 0);
            EXPECT_TRUE(third.bytes.empty());
        }
    }
}

TEST(StoredCells, StartNullAndTakeAnotherKindWhenRewritten)
{
    StoredResult result = resultOf(2);
    const std::size_t row = result.appendRow();
    EXPECT_EQ(result.cell(row, 0).kind, Kind::Null);
    EXPECT_EQ(result.cell(row, 1).kind, Kind::Null);
    // The file provider turns the numbers of a mixed column into texts after reading.
    result.at(row, 0).setInteger(42);
    result.storeBytes(result.at(row, 0), Kind::Text, "42");
    EXPECT_EQ(result.cell(row, 0).kind, Kind::Text);
    EXPECT_EQ(result.cell(row, 0).bytes, "42");
    EXPECT_EQ(result.cell(row, 0).integer, 0);
    result.at(row, 0).setReal(1.5);
    EXPECT_EQ(result.cell(row, 0).kind, Kind::Float);
    EXPECT_TRUE(result.cell(row, 0).bytes.empty());
    EXPECT_EQ(result.cell(row, 1).kind, Kind::Null);
}

TEST(StoredCells, ColumnsAreFixedOnceRowsExist)
{
    StoredResult result = resultOf(1);
    result.appendRow();
    EXPECT_THROW(result.addColumn(columnNamed("Late")), std::logic_error);
    EXPECT_EQ(result.columns().size(), 1u);
    result.describedColumn(0).type = adVarWChar;
    EXPECT_EQ(result.columns()[0].type, adVarWChar);
}

TEST(StoredBytes, EmptyTextIsNotNullAndNulsAreKept)
{
    StoredResult result = resultOf(4);
    const std::size_t row = result.appendRow();
    result.storeBytes(result.at(row, 0), Kind::Text, "");
    result.storeBytes(result.at(row, 1), Kind::Bytes, std::string_view());
    const std::string withNuls("\0a\0\0b\0", 6);
    result.storeBytes(result.at(row, 2), Kind::Bytes, withNuls);
    result.storeBytes(result.at(row, 3), Kind::Text, std::string_view("x\0y", 3));
    EXPECT_EQ(result.cell(row, 0).kind, Kind::Text);
    EXPECT_EQ(result.cell(row, 0).bytes.size(), 0u);
    EXPECT_EQ(result.cell(row, 1).kind, Kind::Bytes);
    EXPECT_EQ(result.cell(row, 1).bytes.size(), 0u);
    EXPECT_EQ(result.cell(row, 2).kind, Kind::Bytes);
    EXPECT_EQ(result.cell(row, 2).bytes, withNuls);
    EXPECT_EQ(result.cell(row, 3).bytes, std::string_view("x\0y", 3));
}

TEST(StoredBytes, FillABlockExactlyThenStartTheNextWithoutMovingAnything)
{
    // Quarter-block values, their length included, fill a block exactly; the fifth needs a new one.
    StoredResult result = resultOf(1);
    const std::size_t size = StoredResult::LongValueSize - LengthSize;
    std::vector<std::string> texts;
    std::vector<const char*> places;
    for (int i = 0; i < 6; ++i) {
        const std::size_t row = result.appendRow();
        texts.push_back(pattern(size, static_cast<char>('a' + i)));
        result.storeBytes(result.at(row, 0), Kind::Text, texts.back());
        places.push_back(result.cell(row, 0).bytes.data());
    }
    for (std::size_t row = 0; row < texts.size(); ++row) {
        SCOPED_TRACE(row);
        const ProviderCell cell = result.cell(row, 0);
        EXPECT_EQ(cell.bytes.size(), size);
        EXPECT_TRUE(cell.bytes == texts[row]);
        // Where a value went when it was stored is where it stays.
        EXPECT_EQ(cell.bytes.data(), places[row]);
    }
    // The four values of the first block lie back to back, each after its length.
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(places[i], places[i - 1] + size + LengthSize);
}

TEST(StoredBytes, ValuesThatDoNotFitTheRestOfABlockGoToTheNext)
{
    StoredResult result = resultOf(2);
    std::vector<std::string> texts;
    // Odd sizes so that the block's end falls inside a value; many small ones across it.
    std::size_t stored = 0;
    for (std::size_t i = 0; stored < 3 * BytesPerBlock; ++i) {
        const std::size_t row = result.appendRow();
        texts.push_back(pattern(1 + (i * 7919) % 5000, static_cast<char>(i)));
        stored += texts.back().size() + LengthSize;
        result.storeBytes(result.at(row, i % 2), Kind::Text, texts.back());
    }
    for (std::size_t row = 0; row < texts.size(); ++row) {
        const ProviderCell cell = result.cell(row, row % 2);
        ASSERT_EQ(cell.kind, Kind::Text) << row;
        ASSERT_TRUE(cell.bytes == texts[row]) << row;
        ASSERT_EQ(result.cell(row, 1 - row % 2).kind, Kind::Null) << row;
    }
}

TEST(StoredBytes, LongValuesAndValuesOfABlocksSizeAreKeptWhole)
{
    StoredResult result = resultOf(1);
    const std::vector<std::size_t> sizes = {
        StoredResult::LongValueSize - LengthSize + 1, // just over a quarter block: a block of its own
        5, // then a small one into the shared block
        BytesPerBlock - LengthSize, // exactly a block with its length
        BytesPerBlock, // exactly a block of bytes
        BytesPerBlock + 1,
        StoredResult::LongValueSize - LengthSize, // the largest that shares a block
        3 * BytesPerBlock + 17,
        0,
    };
    std::vector<std::string> values;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::size_t row = result.appendRow();
        values.push_back(pattern(sizes[i], static_cast<char>('A' + i)));
        result.storeBytes(result.at(row, 0), i % 2 ? Kind::Bytes : Kind::Text, values.back());
    }
    for (std::size_t row = 0; row < values.size(); ++row) {
        SCOPED_TRACE(sizes[row]);
        const ProviderCell cell = result.cell(row, 0);
        EXPECT_EQ(cell.kind, row % 2 ? Kind::Bytes : Kind::Text);
        EXPECT_EQ(cell.bytes.size(), sizes[row]);
        EXPECT_TRUE(cell.bytes == values[row]);
    }
}

TEST(StoredBytes, AValueOfFourGigabytesIsRefusedAndTheCellKept)
{
    StoredResult result = resultOf(1);
    const std::size_t row = result.appendRow();
    result.at(row, 0).setInteger(9);
    // Never read: the length is checked first.
    const char byte = 0;
    const std::string_view huge(&byte, std::size_t(1) << 32);
    try {
        result.storeBytes(result.at(row, 0), Kind::Bytes, huge);
        FAIL() << "no exception";
    } catch (const EOleException& e) {
        EXPECT_STREQ(e.what(), "A value is too long to be read"); // providerError drops the period
        EXPECT_EQ(e.ErrorCode(), E_PROVIDER_FAIL);
    }
    EXPECT_EQ(result.cell(row, 0).kind, Kind::Integer);
    EXPECT_EQ(result.cell(row, 0).integer, 9);
}

// Both file providers fill the store; a table longer than a block of rows reads back whole.
TEST(StoredResults, FileProvidersReadTablesLongerThanABlockOfRows)
{
    vl::test::TempDir dir;
    const std::size_t rows = RowsPerBlock + 5;
    using F = jet::FieldType;
    using V = jet::Value;
    jet::TableDefinition table;
    table.name = "Many";
    table.columns = { { "N", F::LongInteger }, { "Name", F::Text, 20 }, { "Notes", F::Memo } };
    for (std::size_t i = 0; i < rows; ++i)
        table.rows.push_back({ V::ofInteger(static_cast<int64_t>(i)),
            i % 3 ? V::ofText(std::string("n").append(std::to_string(i))) : V::null(),
            i == RowsPerBlock ? V::ofText(std::string(300000, 'm')) : V::ofText("") });
    const std::string jetPath = dir.file("many.mdb");
    jet::writeDatabaseFile(jetPath, { table });
    auto jet = openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + jetPath);
    std::unique_ptr<ProviderResult> fromJet = jet->execute("select * from Many");
    ASSERT_EQ(fromJet->rowCount(), rows);

    // A column without declared type is rewritten after reading: its numbers become texts.
    const std::string sqlitePath = dir.file("many.sqlite");
    vl::test::createDatabase(sqlitePath,
        "create table Many (N integer, Name nvarchar(20), Notes longtext);"
        "with recursive n(i) as (select 0 union all select i + 1 from n where i + 1 < "
            + std::to_string(rows)
            + ") insert into Many select i, case when i % 3 <> 0 then 'n' || i end,"
              " case when i = "
            + std::to_string(RowsPerBlock)
            + " then replace(hex(zeroblob(150000)), '0', 'm')"
              " else '' end from n;");
    auto sqlite = openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sqlitePath);
    std::unique_ptr<ProviderResult> fromSqlite = sqlite->execute(
        "select N, Name, Notes, case when N = 4096 then 'x' else N end as Mixed from Many order by N");
    ASSERT_EQ(fromSqlite->rowCount(), rows);
    EXPECT_EQ(fromSqlite->columns()[3].type, adVarWChar);

    for (const ProviderResult* result : { fromJet.get(), fromSqlite.get() }) {
        for (std::size_t row : { std::size_t(0), RowsPerBlock - 1, RowsPerBlock, rows - 1 }) {
            SCOPED_TRACE(row);
            EXPECT_EQ(result->cell(row, 0).integer, static_cast<int64_t>(row));
            const ProviderCell name = result->cell(row, 1);
            if (row % 3) {
                EXPECT_EQ(name.kind, Kind::Text);
                EXPECT_EQ(name.bytes, std::string("n").append(std::to_string(row)));
            } else {
                EXPECT_EQ(name.kind, Kind::Null);
            }
            const ProviderCell notes = result->cell(row, 2);
            EXPECT_EQ(notes.kind, Kind::Text);
            EXPECT_EQ(notes.bytes.size(), row == RowsPerBlock ? 300000u : 0u);
        }
    }
    EXPECT_EQ(fromSqlite->cell(RowsPerBlock - 1, 3).bytes, std::to_string(RowsPerBlock - 1));
    EXPECT_EQ(fromSqlite->cell(RowsPerBlock, 3).bytes, "x");
    EXPECT_EQ(fromSqlite->cell(rows - 1, 3).bytes, std::to_string(rows - 1));
}

} // namespace
