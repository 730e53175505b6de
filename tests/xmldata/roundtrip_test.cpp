// The writer's round trip: random master and detail data sets are written by TXMLDataSource and
// read back by the viewer's reader; every value text must come back exactly as it went in, and
// every detail row must land under its master row.

#include "ReportData.h"
#include "SqliteFixture.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

using vl::test::FixtureDatabase;

// A random table: an integer key column K and some text columns.
struct Table {
    std::vector<std::string> columns; // text columns, after K
    std::vector<int> keys;
    std::vector<std::vector<std::string>> values; // per row, per text column: the narrow value text
};

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Creates the table and fills it; each value is stored as the UTF-8 form of its narrow text, so
// the data layer hands the same narrow text back in the current locale.
void createTable(FixtureDatabase& db, const std::string& name, const Table& table)
{
    std::string sql = "pragma synchronous = off; begin; create table " + name + " (K integer";
    for (const std::string& column : table.columns)
        sql += ", " + column + " nvarchar(255)";
    sql += ");";
    for (size_t r = 0; r < table.keys.size(); ++r) {
        sql += "insert into " + name + " values (" + std::to_string(table.keys[r]);
        for (const std::string& value : table.values[r])
            sql += ", cast(X'" + hexOf(vl::utf16ToUtf8(vl::toWide(value))) + "' as text)";
        sql += ");";
    }
    db.exec(sql + "commit;");
}

// Every byte of the value picked from the given pieces (each a valid character of the code page).
std::string randomValue(std::mt19937& random, const std::vector<std::string>& pieces)
{
    std::string value;
    const int length = std::uniform_int_distribution<int>(0, 24)(random);
    // Half of the picks come from the first 127 pieces, so that the single bytes (markup, blanks,
    // control characters) are as frequent as the double-byte characters.
    const size_t few = std::min<size_t>(127, pieces.size());
    for (int i = 0; i < length; ++i) {
        const size_t range = random() % 2 ? few : pieces.size();
        value += pieces[std::uniform_int_distribution<size_t>(0, range - 1)(random)];
    }
    return value;
}

Table randomTable(
    std::mt19937& random, const std::string& prefix, int rows, int keyRange, const std::vector<std::string>& pieces)
{
    Table table;
    const int columns = std::uniform_int_distribution<int>(1, 5)(random);
    for (int c = 0; c < columns; ++c)
        table.columns.push_back(prefix + std::to_string(c));
    for (int r = 0; r < rows; ++r) {
        table.keys.push_back(std::uniform_int_distribution<int>(0, keyRange)(random));
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c)
            row.push_back(randomValue(random, pieces));
        table.values.push_back(row);
    }
    return table;
}

// The document as the window hands it to the viewer: narrow text to wide with the given code
// page, then the control's UTF-8; read back, every value is turned into narrow text again.
struct ReadBack {
    vl::ReportDataSet data;
    std::string message;
};

ReadBack readDocument(const std::string& xml, const std::string& codePage)
{
    ReadBack back;
    const vl::ParseResult result = vl::parseDataDocument(vl::utf16ToUtf8(vl::toWide(xml, codePage)), back.data);
    back.message = result.message.toStdString();
    return back;
}

std::string narrow(const QString& text, const std::string& codePage)
{
    return vl::toNarrow(
        std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())), codePage);
}

// Compares one table's rows with what the reader saw.
void expectRows(const Table& table, const std::vector<vl::DataRow>& rows, const std::vector<size_t>& which,
    const std::string& codePage)
{
    ASSERT_EQ(rows.size(), which.size());
    for (size_t i = 0; i < which.size(); ++i) {
        const size_t r = which[i];
        ASSERT_EQ(rows[i].fieldCount(), table.columns.size() + 1) << "row " << r;
        EXPECT_EQ(rows[i].fieldName(0).toStdString(), "K");
        EXPECT_EQ(rows[i].fieldValue(0).toStdString(), std::to_string(table.keys[r]));
        for (size_t c = 0; c < table.columns.size(); ++c) {
            EXPECT_EQ(rows[i].fieldName(c + 1).toStdString(), table.columns[c]);
            EXPECT_EQ(narrow(rows[i].fieldValue(c + 1), codePage), table.values[r][c])
                << "row " << r << ", column " << table.columns[c] << ", written as "
                << testing::PrintToString(table.values[r][c]);
        }
    }
}

// Writes master and detail with the relation K=K and checks everything the reader gives back.
void roundTrip(FixtureDatabase& db, const Table& master, const Table& detail, const std::string& codePage)
{
    createTable(db, "M", master);
    createTable(db, "D", detail);
    TDataSet* masterSet = db.dataSet("ADODataSet1", "select * from M");
    TDataSet* detailSet = db.dataSet("ADODataSet2", "select * from D");
    TComponent owner(nullptr);
    TXMLDataSource* source = TXMLDataSource::Create(&owner);
    source->SetEncoding("GB2312");
    source->SetMaster(masterSet, "");
    source->AddDetail("Detail", detailSet, "K=K", "");
    const std::string xml = source->GetXML();

    const ReadBack back = readDocument(xml, codePage);
    ASSERT_TRUE(back.message.empty()) << back.message;
    ASSERT_TRUE(back.data.hasMaster);
    std::vector<size_t> all(master.keys.size());
    for (size_t r = 0; r < all.size(); ++r)
        all[r] = r;
    expectRows(master, back.data.masterRows, all, codePage);

    // The writer's rule: a detail row goes under the last master row with its key.
    std::map<int, size_t> lastMasterOf;
    for (size_t r = 0; r < master.keys.size(); ++r)
        lastMasterOf[master.keys[r]] = r;
    std::vector<size_t> written;
    std::vector<std::vector<int>> groups(master.keys.size());
    for (size_t r = 0; r < detail.keys.size(); ++r) {
        const auto it = lastMasterOf.find(detail.keys[r]);
        if (it == lastMasterOf.end())
            continue;
        groups[it->second].push_back(static_cast<int>(written.size()));
        written.push_back(r);
    }
    ASSERT_EQ(back.data.details.size(), 1u);
    EXPECT_EQ(back.data.details[0].id.toStdString(), "Detail");
    expectRows(detail, back.data.details[0].rows, written, codePage);
    EXPECT_EQ(back.data.details[0].groups, groups);
}

// Every character of GBK as pieces: the bytes 1 to 127, and double-byte characters whose lead
// and trail bytes together cover 0x40 to 0xFE.
std::vector<std::string> gbkPieces()
{
    std::vector<std::string> pieces;
    for (int b = 1; b < 128; ++b)
        pieces.emplace_back(1, static_cast<char>(b));
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string character { static_cast<char>(lead), static_cast<char>(trail) };
            const std::u16string wide = vl::toWide(character, "GBK");
            // Only assigned characters go back to the same two bytes.
            if (wide.size() == 1 && wide[0] != u'\uFFFD' && vl::toNarrow(wide, "GBK") == character)
                pieces.push_back(character);
        }
    return pieces;
}

class RoundTripTest : public testing::Test
{
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C.UTF-8"); }
};

TEST_F(RoundTripTest, MarkupControlAndDoubleByteCharactersInTheProgramsCodePage)
{
    if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
        GTEST_SKIP() << "zh_CN.GBK locale not generated";
    const std::vector<std::string> pieces = gbkPieces();
    ASSERT_GT(pieces.size(), 20000u);
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        FixtureDatabase db;
        Table master = randomTable(random, "MV", 12, 15, pieces);
        // One value with each single byte, and the characters that need escaping side by side.
        std::string everyByte;
        for (int b = 1; b < 128; ++b)
            everyByte += static_cast<char>(b);
        master.values[0][0] = everyByte;
        master.values[1][0] = "<>&\"'\t\r\n\r\r\n\n &amp;&#9;]]>";
        master.values[2][0] = " \t leading and trailing \t ";
        const Table detail = randomTable(random, "DV", 40, 20, pieces);
        roundTrip(db, master, detail, vl::narrowCodePage());
        if (HasFatalFailure())
            return;
    }
}

TEST_F(RoundTripTest, EveryByteFromOneTo255)
{
    // The value texts come from OnGetFieldValue, so each may hold any byte; the document is
    // labelled Latin-1 on its way to the reader, where every byte is one character.
    std::mt19937 random(99);
    std::vector<std::string> bytes;
    for (int b = 1; b < 256; ++b)
        bytes.emplace_back(1, static_cast<char>(b));
    FixtureDatabase db;
    Table master = randomTable(random, "MV", 10, 8, { "x" });
    Table detail = randomTable(random, "DV", 30, 10, { "x" });
    std::map<std::string, std::string> byCell; // "<table> <row> <column>" -> value
    auto fill = [&](Table& table, const char* name) {
        for (size_t r = 0; r < table.keys.size(); ++r)
            for (size_t c = 0; c < table.columns.size(); ++c) {
                table.values[r][c] = randomValue(random, bytes);
                byCell[std::string(name) + " " + std::to_string(table.keys[r]) + " " + std::to_string(r) + " "
                    + table.columns[c]]
                    = table.values[r][c];
            }
    };
    fill(master, "M");
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    master.values[0][0] = all;
    byCell["M " + std::to_string(master.keys[0]) + " 0 " + master.columns[0]] = all;
    fill(detail, "D");
    // The stored texts are placeholders; each cell's value is found by its row's position, which
    // the handler learns from a row counter per data set.
    createTable(db, "M",
        Table { master.columns, master.keys,
            std::vector<std::vector<std::string>>(
                master.keys.size(), std::vector<std::string>(master.columns.size())) });
    createTable(db, "D",
        Table { detail.columns, detail.keys,
            std::vector<std::vector<std::string>>(
                detail.keys.size(), std::vector<std::string>(detail.columns.size())) });
    TDataSet* masterSet = db.dataSet("ADODataSet1", "select rowid - 1 as R, * from M");
    TDataSet* detailSet = db.dataSet("ADODataSet2", "select rowid - 1 as R, * from D");
    TComponent owner(nullptr);
    TXMLDataSource* source = TXMLDataSource::Create(&owner);
    source->SetMaster(
        masterSet, "K," + [&] {
            std::string list;
            for (const auto& column : master.columns)
                list += column + ",";
            return list;
        }());
    source->AddDetail("Detail", detailSet, "K=K", [&] {
        std::string list = "K,";
        for (const auto& column : detail.columns)
            list += column + ",";
        return list;
    }());
    source->SetOnGetFieldValue([&](TField* field, std::string& value) {
        if (field->FieldName() == "K")
            return;
        const bool isMaster = field->DataSet() == masterSet;
        TDataSet* dataSet = isMaster ? masterSet : detailSet;
        value = byCell.at(std::string(isMaster ? "M " : "D ") + dataSet->FieldNamed("K")->ValueText() + " "
            + dataSet->FieldNamed("R")->ValueText() + " " + field->FieldName());
    });
    const std::string xml = source->GetXML();
    const ReadBack back = readDocument(xml, "ISO-8859-1");
    ASSERT_TRUE(back.message.empty()) << back.message;
    std::vector<size_t> allRows(master.keys.size());
    for (size_t r = 0; r < allRows.size(); ++r)
        allRows[r] = r;
    expectRows(master, back.data.masterRows, allRows, "ISO-8859-1");
    std::map<int, size_t> lastMasterOf;
    for (size_t r = 0; r < master.keys.size(); ++r)
        lastMasterOf[master.keys[r]] = r;
    std::vector<size_t> written;
    for (size_t r = 0; r < detail.keys.size(); ++r)
        if (lastMasterOf.count(detail.keys[r]))
            written.push_back(r);
    ASSERT_EQ(back.data.details.size(), 1u);
    expectRows(detail, back.data.details[0].rows, written, "ISO-8859-1");
}

} // namespace
