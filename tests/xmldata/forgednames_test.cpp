// Forged names: field names and DetailIDs go into the document unescaped, so a name holding markup
// could add rows or attributes that the data do not have. Random names full of markup characters
// must either be refused by the write or give a document that the viewer's reader refuses or reads
// with exactly the rows and attributes of the data.

#include "Exceptions.h"
#include "ReportData.h"
#include "SqliteFixture.h"
#include "Text.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <clocale>
#include <random>
#include <string>
#include <vector>

namespace
{

using vl::test::FixtureDatabase;

// Pieces that cannot open, close or end anything, though many make the document unreadable.
const std::vector<std::string> PlainPieces = {
    "a",
    "Row",
    "x",
    "_",
    "1",
    "-",
    ".",
    ":",
    " ",
    "\t",
    "\n",
    "=",
    "/",
    "!",
    "?",
    "[",
    "]",
    ";",
    "#",
    "\xE5\x90\x8D",
    "__MasterIdx",
    "Master",
};
// Pieces with the characters that would forge markup.
const std::vector<std::string> MarkupPieces = {
    "'",
    "\"",
    "<",
    ">",
    "&",
    "=\"",
    "='",
    "' ",
    "\" ",
    "/>",
    "<Row",
    "></Master><Row",
    "&lt;",
    "&#34;",
    "<!--",
    "-->",
    "<![CDATA[",
    "]]>",
};

// Mostly plain names; one in ten holds a markup piece somewhere.
std::string randomName(std::mt19937& random)
{
    std::string name;
    const int pieces = std::uniform_int_distribution<int>(1, 5)(random);
    const int markupAt = random() % 10 == 0 ? std::uniform_int_distribution<int>(0, pieces - 1)(random) : -1;
    for (int i = 0; i < pieces; ++i) {
        const auto& from = i == markupAt ? MarkupPieces : PlainPieces;
        name += from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(random)];
    }
    return name;
}

std::string quotedIdentifier(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A name that the document holds as written cannot pass on these; the same five that end an
// attribute value or open and close elements.
bool holdsMarkup(const std::string& name)
{
    return name.find_first_of("<>&\"'") != std::string::npos;
}

// XML allows blanks around "=" and before ">", so the reader cannot keep a name's own blanks at
// either end; that loses nothing but the blanks and adds no attribute.
std::string trimmedName(const std::string& name)
{
    const char* blanks = " \t\r\n";
    const auto first = name.find_first_not_of(blanks);
    return first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(blanks) - first + 1);
}

std::u16string wideOf(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

struct Outcome {
    int refused = 0;
    int unreadable = 0;
    int read = 0;
};

// One random case: a master and two details, each with forged names among the plain ones.
void runCase(std::mt19937& random, Outcome& outcome)
{
    FixtureDatabase db;
    auto makeTable = [&](const std::string& table, int rows) {
        std::string sql = "pragma synchronous = off; begin; create table " + table + " (K integer";
        const int columns = std::uniform_int_distribution<int>(1, 4)(random);
        for (int c = 0; c < columns; ++c) {
            // A distinct prefix keeps the names apart, as SQLite compares them without case.
            const std::string name
                = random() % 3 == 0 ? "f" + std::to_string(c) + randomName(random) : "f" + std::to_string(c);
            sql += ", " + quotedIdentifier(name) + " nvarchar(20)";
        }
        sql += ");";
        for (int r = 0; r < rows; ++r) {
            sql += "insert into " + table + " values (" + std::to_string(r % 4);
            for (int c = 0; c < columns; ++c)
                sql += ", 'v" + std::to_string(r) + "'";
            sql += ");";
        }
        db.exec(sql + "commit;");
    };
    makeTable("M", 3);
    makeTable("D1", 5);
    makeTable("D2", 4);
    TDataSet* master = db.dataSet("ADODataSet1", "select * from M");
    TDataSet* details[]
        = { db.dataSet("ADODataSet2", "select * from D1"), db.dataSet("ADODataSet3", "select * from D2") };
    const std::string ids[]
        = { random() % 2 ? "Detail" : randomName(random), random() % 2 ? "Other" : randomName(random) };
    if (vl::sameText(ids[0], ids[1]))
        return;

    TComponent owner(nullptr);
    TXMLDataSource* source = TXMLDataSource::Create(&owner);
    const bool withMaster = random() % 4 != 0;
    if (withMaster)
        source->SetMaster(master, "");
    for (int d = 0; d < 2; ++d)
        source->AddDetail(ids[d], details[d], "K=K", "");

    bool forged = false;
    auto noteNames = [&](TDataSet* dataSet) {
        for (int i = 0; i < dataSet->FieldCount(); ++i)
            forged = forged || holdsMarkup(dataSet->FieldAt(i)->FieldName());
    };
    if (withMaster)
        noteNames(master);
    for (int d = 0; d < 2; ++d) {
        noteNames(details[d]);
        forged = forged || holdsMarkup(ids[d]);
    }

    std::string xml;
    try {
        xml = source->GetXML();
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.Message()).find("cannot be written to the data document"), std::string::npos)
            << error.Message();
        EXPECT_TRUE(forged) << "refused without a markup character: " << error.Message();
        ++outcome.refused;
        return;
    }
    EXPECT_FALSE(forged) << "a name with markup characters was written:\n" << xml;

    vl::ReportDataSet read;
    const vl::ParseResult result = vl::parseDataDocument(vl::utf16ToUtf8(vl::toWide(xml)), read);
    if (!result.ok) {
        ++outcome.unreadable;
        return;
    }
    ++outcome.read;
    // Read at all, the document holds exactly the data's rows and attributes, under their names.
    auto expectRows = [&](TDataSet* dataSet, const std::vector<vl::DataRow>& rows, size_t maxRows, bool exact) {
        if (exact)
            EXPECT_EQ(rows.size(), maxRows) << xml;
        else
            EXPECT_LE(rows.size(), maxRows) << xml;
        for (const vl::DataRow& row : rows) {
            ASSERT_EQ(row.fieldCount(), static_cast<size_t>(dataSet->FieldCount())) << xml;
            for (int i = 0; i < dataSet->FieldCount(); ++i)
                EXPECT_EQ(vl::toNarrow(wideOf(row.fieldName(static_cast<size_t>(i)))),
                    trimmedName(dataSet->FieldAt(i)->FieldName()));
        }
    };
    EXPECT_EQ(read.hasMaster, withMaster) << xml;
    if (withMaster)
        expectRows(master, read.masterRows, 3, true);
    ASSERT_EQ(read.details.size(), 2u) << xml;
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(vl::toNarrow(wideOf(read.details[static_cast<size_t>(d)].id)), trimmedName(ids[d]));
        expectRows(details[d], read.details[static_cast<size_t>(d)].rows, d == 0 ? 5 : 4, !withMaster);
    }
}

TEST(ForgedNames, RandomMarkupInNamesNeverAddsRowsOrAttributes)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    std::mt19937 random(2024);
    Outcome outcome;
    for (int i = 0; i < 500; ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        runCase(random, outcome);
        if (HasFatalFailure())
            return;
    }
    // Every way out was taken, or the cases proved little.
    const std::string counts = "refused " + std::to_string(outcome.refused) + ", unreadable "
        + std::to_string(outcome.unreadable) + ", read " + std::to_string(outcome.read);
    EXPECT_GT(outcome.refused, 50) << counts;
    EXPECT_GT(outcome.unreadable, 50) << counts;
    EXPECT_GT(outcome.read, 20) << counts;
}

// The apostrophe also delimits attribute values: a field named  a='x' b  would give each row a
// second, invented attribute.
TEST(ForgedNames, ApostropheInAFieldNameIsRefused)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    FixtureDatabase db;
    db.exec("create table T (\"a='x' b\" nvarchar(5)); insert into T values ('v');");
    TDataSet* dataSet = db.dataSet("ADODataSet2", "select * from T");
    TComponent owner(nullptr);
    TXMLDataSource* source = TXMLDataSource::Create(&owner);
    source->AddDetail("Detail", dataSet, "", "");
    try {
        const std::string xml = source->GetXML();
        ADD_FAILURE() << "written: " << xml;
    } catch (const Exception& error) {
        EXPECT_EQ(
            std::string(error.Message()), "Field name 'a='x' b' of ADODataSet2 cannot be written to the data document");
    }
    // A DetailID cannot hide one either.
    TXMLDataSource* second = TXMLDataSource::Create(&owner);
    db.exec("create table U (b nvarchar(5)); insert into U values ('v');");
    second->AddDetail("D x='1'", db.dataSet("ADODataSet3", "select * from U"), "", "");
    EXPECT_THROW(second->GetXML(), Exception);
}

} // namespace
