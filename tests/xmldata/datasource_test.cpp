#include "SqliteFixture.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>

namespace {

using vl::test::FixtureDatabase;

// The departments and employees of the document example, with one extra column on each side
// that the filters leave out.
class DataSourceTest : public testing::Test {
protected:
    void SetUp() override
    {
        db.exec("create table Bas_Department (DeptNo integer, DeptName varchar(20), Extra varchar(5));"
                "insert into Bas_Department values (10, 'Sales & \"Export\"', 'x');"
                "insert into Bas_Department values (20, 'R<D', 'y');"
                "create table Bas_Employee (EmpNo varchar(5), DeptNo integer);"
                "insert into Bas_Employee values ('e1', 10), ('e2', 10), ('e3', 20), ('e4', 30);");
        departments = db.dataSet("ADODataSet1", "select * from Bas_Department order by deptno");
        employees = db.dataSet("ADODataSet2", "select * from Bas_Employee order by EmpNo");
        source = TXMLDataSource::Create(&owner);
    }

    // Runs sql, which makes table, and opens a third data set over every row of it.
    TDataSet* tableMadeBy(const std::string& sql, const std::string& table)
    {
        db.exec(sql);
        return db.dataSet("ADODataSet3", "select * from " + table);
    }

    FixtureDatabase db;
    TDataSet* departments = nullptr;
    TDataSet* employees = nullptr;
    TComponent owner { nullptr };
    TXMLDataSource* source = nullptr;
};

constexpr const char* ExampleDocument
    = "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>"
      "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\"/><Row DeptNo=\"20\" DeptName=\"R&lt;D\"/>"
      "</Master><Detail><Row __MasterIdx=\"0\" DeptNo=\"10\"/><Row __MasterIdx=\"0\" DeptNo=\"10\"/>"
      "<Row __MasterIdx=\"1\" DeptNo=\"20\"/></Detail></DocumentData>";

TEST_F(DataSourceTest, ExampleDocumentByteForByte)
{
    source->SetEncoding("GB2312");
    source->SetMaster(departments, "DeptNo, DeptName");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "DeptNo");
    EXPECT_EQ(source->GetXML(), ExampleDocument);
    EXPECT_TRUE(departments->AtEnd());
    EXPECT_TRUE(employees->AtEnd());
}

TEST_F(DataSourceTest, ExampleWithoutMasterByteForByte)
{
    source->SetEncoding("GB2312");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "DeptNo");
    EXPECT_EQ(source->GetXML(),
              "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Detail><Row DeptNo=\"10\"/>"
              "<Row DeptNo=\"10\"/><Row DeptNo=\"20\"/><Row DeptNo=\"30\"/></Detail></DocumentData>");
}

TEST_F(DataSourceTest, EmptyConfigurations)
{
    EXPECT_EQ(source->GetXML(), "<DocumentData></DocumentData>");
    source->SetEncoding("UTF-8");
    EXPECT_EQ(source->GetXML(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><DocumentData></DocumentData>");
    source->SetEncoding("");
    source->SetMaster(departments, "DeptNo");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master></DocumentData>");
    // A second SetMaster replaces data set and field list; none selects the layout without master.
    source->SetMaster(employees, "EmpNo");
    EXPECT_EQ(source->Master(), employees);
    EXPECT_EQ(source->MasterFieldList(), "EmpNo");
    source->SetMaster(nullptr, "");
    source->AddDetail("D", departments, "", "DeptNo");
    EXPECT_EQ(source->GetXML(), "<DocumentData><D><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></D></DocumentData>");
}

TEST_F(DataSourceTest, EmptyMasterAndEmptyDetail)
{
    TDataSet* none = tableMadeBy("create table Vacant (DeptNo integer)", "Vacant");
    source->SetMaster(none, "");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    source->AddDetail("Other", employees, "", "");
    EXPECT_EQ(source->GetXML(), "<DocumentData><Master></Master><Detail></Detail><Other></Other></DocumentData>");
    source->SetMaster(departments, "DeptNo");
    source->ClearDetails();
    source->AddDetail("Detail", none, "DeptNo=DeptNo", "");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master><Detail></Detail>"
              "</DocumentData>");
}

TEST_F(DataSourceTest, DetailRegistration)
{
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", " EmpNo ");
    try {
        source->AddDetail("detail", departments, "", "");
        FAIL() << "duplicate accepted";
    } catch (const EDatabaseError&) {
        FAIL() << "wrong class";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "DetailID must be unique.");
    }
    ASSERT_EQ(source->DetailCount(), 1);
    EXPECT_EQ(source->DetailID(0), "Detail");
    const TDetailInfo& info = source->Detail(0);
    EXPECT_EQ(info.DataSet, employees);
    EXPECT_EQ(info.Relation, "DeptNo=DeptNo");
    EXPECT_EQ(info.FieldList, " EmpNo ");
    EXPECT_EQ(info.relationList, std::vector<std::string> { "DeptNo=DeptNo" });

    EXPECT_THROW(source->AddDetail("Second", nullptr, "", ""), Exception);
    EXPECT_EQ(source->DetailCount(), 1);

    source->ClearDetails();
    EXPECT_EQ(source->DetailCount(), 0);
    source->ClearDetails();
    source->AddDetail("DETAIL", employees, "\"Dept No=Dept No\",A=X", "");
    EXPECT_EQ(source->Detail(0).relationList, (std::vector<std::string> { "Dept No=Dept No", "A=X" }));
}

TEST_F(DataSourceTest, DestroyingLeavesDataSetsOpenAndOwnerListClean)
{
    source->SetMaster(departments, "");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    const int before = owner.ComponentCount();
    delete source;
    source = nullptr;
    EXPECT_EQ(owner.ComponentCount(), before - 1);
    EXPECT_TRUE(departments->Active());
    EXPECT_TRUE(employees->Active());
    departments->First();
    EXPECT_FALSE(departments->AtEnd());
}

// Relations and keys.

struct KeyCase {
    const char* name;
    const char* masterRows; // values for table M (K1, K2)
    const char* detailRows; // values for table D (K1, K2)
    const char* relation;
    const char* detailBlock; // expected content of <D>...</D> with field list "K1"
};

class KeyMatching : public testing::TestWithParam<KeyCase> { };

TEST_P(KeyMatching, GivesTheMasterPositions)
{
    const KeyCase& c = GetParam();
    FixtureDatabase db;
    db.exec(std::string("create table M (K1 varchar(10), K2 varchar(10)); create table D (K1 varchar(10), "
                        "K2 varchar(10)); insert into M values ")
            + c.masterRows + "; insert into D values " + c.detailRows + ";");
    TDataSet* master = db.dataSet("ADODataSet1", "select * from M");
    TDataSet* detail = db.dataSet("ADODataSet2", "select * from D");
    TXMLDataSource source(nullptr);
    source.SetMaster(master, "K1");
    source.AddDetail("D", detail, c.relation, "K1");
    const std::string document = source.GetXML();
    const std::string start = "</Master><D>";
    const size_t at = document.find(start);
    ASSERT_NE(at, std::string::npos) << document;
    EXPECT_EQ(document.substr(at + start.size()), std::string(c.detailBlock) + "</D></DocumentData>");
}

INSTANTIATE_TEST_SUITE_P(
    Relations, KeyMatching,
    testing::Values(
        KeyCase { "CaseIgnored", "('abc', '')", "('ABC', ''), ('abd', '')", "K1=K1",
                  "<Row __MasterIdx=\"0\" K1=\"ABC\"/>" },
        KeyCase { "ComparedAsText", "('10', ''), ('10.0', '')", "('10.0', ''), ('10', ''), (' 10', '')", "K1=K1",
                  "<Row __MasterIdx=\"1\" K1=\"10.0\"/><Row __MasterIdx=\"0\" K1=\"10\"/>" },
        KeyCase { "LastOfEqualKeysWins", "('a',''), ('b',''), ('k',''), ('c',''), ('d',''), ('K',''), ('e','')",
                  "('k', ''), ('K', '')", "K1=K1",
                  "<Row __MasterIdx=\"5\" K1=\"k\"/><Row __MasterIdx=\"5\" K1=\"K\"/>" },
        KeyCase { "TwoItemsJoinedByTab", "('a' || char(9) || 'b', 'c'), ('x', 'y')",
                  "('a', 'b' || char(9) || 'c'), ('x', 'y'), ('x', 'z')", "K1=K1,K2=K2",
                  "<Row __MasterIdx=\"0\" K1=\"a\"/><Row __MasterIdx=\"1\" K1=\"x\"/>" },
        KeyCase { "CrossedFields", "('1', '2')", "('2', '1'), ('1', '2')", "K1=K2,K2=K1",
                  "<Row __MasterIdx=\"0\" K1=\"2\"/>" },
        KeyCase { "EmptyRelationMatchesTheLastMasterRow", "('a', ''), ('b', '')", "('z', ''), ('y', '')", "",
                  "<Row __MasterIdx=\"1\" K1=\"z\"/><Row __MasterIdx=\"1\" K1=\"y\"/>" },
        KeyCase { "NamesIgnoreCase", "('a', '')", "('a', '')", "k1=K1", "<Row __MasterIdx=\"0\" K1=\"a\"/>" },
        KeyCase { "NullMatchesEmpty", "(null, '')", "('', ''), (null, '')", "K1=K1",
                  "<Row __MasterIdx=\"0\" K1=\"\"/><Row __MasterIdx=\"0\" K1=\"\"/>" },
        KeyCase { "MultiByteCaseFolded", "('\xC3\xA9t\xC3\xA9', '')", "('\xC3\x89T\xC3\x89', '')", "K1=K1",
                  "<Row __MasterIdx=\"0\" K1=\"\xC3\x89T\xC3\x89\"/>" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSourceTest, EmptyRelationWithEmptyMasterWritesNoDetailRow)
{
    source->SetMaster(tableMadeBy("create table Vacant (DeptNo integer)", "Vacant"), "");
    source->AddDetail("Detail", employees, "", "");
    EXPECT_EQ(source->GetXML(), "<DocumentData><Master></Master><Detail></Detail></DocumentData>");
}

TEST_F(DataSourceTest, MasterFieldListWithoutTheRelationFieldStillRelates)
{
    source->SetMaster(departments, "DeptName");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "EmpNo");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptName=\"Sales &amp; &quot;Export&quot;\"/><Row DeptName=\"R&lt;D\"/>"
              "</Master><Detail><Row __MasterIdx=\"0\" EmpNo=\"e1\"/><Row __MasterIdx=\"0\" EmpNo=\"e2\"/>"
              "<Row __MasterIdx=\"1\" EmpNo=\"e3\"/></Detail></DocumentData>");
}

TEST_F(DataSourceTest, MasterAlsoRegisteredAsDetail)
{
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("Self", departments, "DeptNo=DeptNo", "DeptNo");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master><Self>"
              "<Row __MasterIdx=\"0\" DeptNo=\"10\"/><Row __MasterIdx=\"1\" DeptNo=\"20\"/></Self></DocumentData>");
}

TEST_F(DataSourceTest, TwoDetailsKeepTheirOwnKeys)
{
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("ByNo", employees, "DeptNo=DeptNo", "EmpNo");
    source->AddDetail("ByName", departments, "DeptName=DeptName", "Extra");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master><ByNo>"
              "<Row __MasterIdx=\"0\" EmpNo=\"e1\"/><Row __MasterIdx=\"0\" EmpNo=\"e2\"/>"
              "<Row __MasterIdx=\"1\" EmpNo=\"e3\"/></ByNo><ByName><Row __MasterIdx=\"0\" Extra=\"x\"/>"
              "<Row __MasterIdx=\"1\" Extra=\"y\"/></ByName></DocumentData>");
    EXPECT_EQ(source->Detail(0).keyList.count(), 2);
    EXPECT_EQ(source->Detail(1).keyList.at(1), "R<D");
}

// Failures: message texts and what stays behind.

std::string failureOf(TXMLDataSource& source)
{
    try {
        source.GetXML();
    } catch (const EDatabaseError& e) {
        return "EDatabaseError: " + e.Message();
    } catch (const Exception& e) {
        return "Exception: " + e.Message();
    }
    return "no failure";
}

TEST_F(DataSourceTest, RelationFieldsThatDoNotExist)
{
    source->SetMaster(departments, "");
    source->AddDetail("Detail", employees, "DeptNo = DeptNo", "");
    EXPECT_EQ(failureOf(*source), "EDatabaseError: ADODataSet1: Field '' not found");

    source->ClearDetails();
    source->AddDetail("Detail", employees, "DeptNo=Missing", "");
    EXPECT_EQ(failureOf(*source), "EDatabaseError: ADODataSet2: Field 'Missing' not found");

    source->ClearDetails();
    source->AddDetail("Detail", employees, "DeptNo", "");
    EXPECT_EQ(failureOf(*source), "EDatabaseError: ADODataSet1: Field '' not found");

    // Without master the relation is never used.
    source->SetMaster(nullptr, "");
    EXPECT_EQ(failureOf(*source), "no failure");
}

TEST_F(DataSourceTest, ClosedDataSets)
{
    source->SetMaster(departments, "");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    employees->Close();
    EXPECT_EQ(failureOf(*source), "EDatabaseError: ADODataSet2: Cannot perform this operation on a closed dataset");
    departments->Close();
    EXPECT_EQ(failureOf(*source), "EDatabaseError: ADODataSet1: Cannot perform this operation on a closed dataset");
    // The component stays usable.
    departments->Open();
    employees->Open();
    EXPECT_EQ(failureOf(*source), "no failure");
}

TEST_F(DataSourceTest, WriteXMLAppendsAndKeepsWhatWasEmittedOnFailure)
{
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("Detail", employees, "Missing=DeptNo", "");
    vl::MemoryOutputStream stream;
    stream.write("head", 4);
    EXPECT_THROW(source->WriteXML(stream), EDatabaseError);
    EXPECT_EQ(stream.data(), "head<DocumentData><Master><Row DeptNo=\"10\"/>");
    EXPECT_EQ(departments->AtEnd(), false);

    source->ClearDetails();
    vl::MemoryOutputStream good;
    good.write("x", 1);
    source->WriteXML(good);
    EXPECT_EQ(good.data(), "x<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master></DocumentData>");
}

// A stream that refuses bytes after a budget, as a full disk would.
class FailingStream : public vl::OutputStream {
public:
    explicit FailingStream(size_t budget) : m_budget(budget) { }
    void write(const char* data, size_t size) override
    {
        if (size > m_budget)
            throw Exception("disk full");
        m_budget -= size;
        received.append(data, size);
    }
    std::string received;

private:
    size_t m_budget;
};

TEST_F(DataSourceTest, StreamFailurePassesUnchanged)
{
    TDataSet* big = tableMadeBy("create table Big (V text); insert into Big values (hex(zeroblob(300000)));", "Big");
    source->AddDetail("Big", big, "", "");
    FailingStream stream(1000);
    try {
        source->WriteXML(stream);
        FAIL() << "no failure";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "disk full");
    }
    FailingStream roomy(1 << 20);
    source->WriteXML(roomy);
    EXPECT_EQ(roomy.received, "<DocumentData><Big><Row V=\"" + std::string(600000, '0') + "\"/></Big></DocumentData>");
}

TEST_F(DataSourceTest, ProgressCountsEveryWalkedRowUpToTheTotal)
{
    // 20 000 employees cross two progress steps; the ones of department 30 have no master row
    // and are walked (and counted) all the same.
    db.exec("create table Many (N integer, DeptNo integer);"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000)"
            " insert into Many select i, 10 + 10 * (i % 3) from n;");
    source->SetMaster(departments, "");
    source->AddDetail("Detail", db.dataSet("ADODataSet3", "select * from Many"), "DeptNo=DeptNo", "");
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    source->SetOnProgress([&](std::size_t done, std::size_t total) { calls.emplace_back(done, total); });
    source->GetXML();
    const std::size_t total = 20002;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.front(), std::make_pair(std::size_t(0), total));
    EXPECT_EQ(calls[1], std::make_pair(TXMLDataSource::ProgressStepRows, total));
    EXPECT_EQ(calls[2], std::make_pair(2 * TXMLDataSource::ProgressStepRows, total));
    EXPECT_EQ(calls.back(), std::make_pair(total, total));

    // Without master the rows of every detail count in turn.
    calls.clear();
    source->SetMaster(nullptr, "");
    source->GetXML();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(std::size_t(20000), std::size_t(20000)));
}

TEST_F(DataSourceTest, LargeDocumentIsGuessedFromItsFirstRowsAndGrowsOnce)
{
    // 100 000 rows of even length: both guesses lie close above the final size, and GetXML's
    // document holds no room beyond that (no doubling past it).
    db.exec("create table Many (N integer, DeptNo integer, Name varchar(20));"
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000)"
            " insert into Many select i, 10 + 10 * (i % 2), printf('name %08d', i) from n;");
    source->SetMaster(departments, "");
    source->AddDetail("Detail", db.dataSet("ADODataSet3", "select * from Many"), "DeptNo=DeptNo", "");
    struct Recording : vl::OutputStream {
        void write(const char* data, std::size_t size) override { bytes.append(data, size); }
        void expectTotal(std::size_t total) override { guesses.push_back(total); }
        std::string bytes;
        std::vector<std::size_t> guesses;
    } recording;
    source->WriteXML(recording);
    const double size = static_cast<double>(recording.bytes.size());
    ASSERT_EQ(recording.guesses.size(), 2u);
    for (std::size_t guess : recording.guesses) {
        EXPECT_GE(static_cast<double>(guess), size);
        EXPECT_LE(static_cast<double>(guess), size * 1.1);
    }
    const std::string document = source->GetXML();
    EXPECT_EQ(document, recording.bytes);
    EXPECT_LE(static_cast<double>(document.capacity()), size * 1.1);
}

TEST_F(DataSourceTest, ProgressHandlerThrowingEndsTheWrite)
{
    source->SetMaster(departments, "");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    source->SetOnProgress([](std::size_t done, std::size_t) {
        if (done > 0)
            throw Exception("cancelled");
    });
    vl::MemoryOutputStream stream;
    try {
        source->WriteXML(stream);
        FAIL() << "no failure";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "cancelled");
    }
    // The whole document was produced before the final report, and it was handed over.
    EXPECT_EQ(stream.take().substr(0, 14), "<DocumentData>");
}

TEST_F(DataSourceTest, LargeValuesAreEscapedAcrossBufferBoundaries)
{
    // 200 000 bytes of "a<&" repeated: far more than one buffer once escaped.
    std::string raw;
    std::string escaped;
    for (int i = 0; i < 66667; ++i) {
        raw += "a<&";
        escaped += "a&lt;&amp;";
    }
    TDataSet* big
        = tableMadeBy("create table Big (V text); insert into Big values ('" + raw + "'), ('" + raw + "');", "Big");
    source->AddDetail("Big", big, "", "");
    EXPECT_EQ(source->GetXML(), "<DocumentData><Big><Row V=\"" + escaped + "\"/><Row V=\"" + escaped
                                    + "\"/></Big></DocumentData>");
}

TEST_F(DataSourceTest, MarkupCharacterAtEveryPositionOfValuesAroundSixteenBytes)
{
    // Values are escaped sixteen bytes at a time where they can be: a markup character at each
    // position of values from 1 to 40 bytes, and two of them in one block. Walked longest first
    // too, so that the bytes a shorter value leaves in the storage of a longer one hold markup.
    std::string inserts;
    std::vector<std::string> rows;
    const char* const marks[] = {"<", ">", "&", "\"", "'"};
    const char* const escapes[] = {"&lt;", "&gt;", "&amp;", "&quot;", "'"};
    int n = 0;
    for (std::size_t length = 1; length <= 40; ++length) {
        for (std::size_t at = 0; at < length; ++at, ++n) {
            std::string raw(length, 'x');
            std::string escaped(length, 'x');
            const int mark = n % 5;
            raw.replace(at, 1, marks[mark]);
            escaped.replace(at, 1, escapes[mark]);
            if (at + 3 < length) {
                raw[at + 3] = '&';
                escaped.replace(escaped.size() - (length - at - 3), 1, "&amp;");
            }
            std::string quoted;
            for (char c : raw)
                quoted += c == '\'' ? std::string("''") : std::string(1, c);
            inserts += "insert into V values (" + std::to_string(n) + ", '" + quoted + "');";
            rows.push_back("<Row N=\"" + std::to_string(n) + "\" T=\"" + escaped + "\"/>");
        }
    }
    db.exec("create table V (N integer, T varchar(60));" + inserts);
    for (const char* order : {"", " desc"}) {
        std::string expected = "<DocumentData><V>";
        for (const std::string& row : rows)
            expected += row;
        expected += "</V></DocumentData>";
        TXMLDataSource* writer = TXMLDataSource::Create(&owner);
        writer->AddDetail("V", db.dataSet(std::string("V") + (*order ? "Desc" : "Asc"),
                                          std::string("select * from V order by N") + order), "", "");
        EXPECT_EQ(writer->GetXML(), expected) << order;
        std::reverse(rows.begin(), rows.end());
    }
}

TEST_F(DataSourceTest, OnlyTheFourCharactersAreEscaped)
{
    std::string all;
    for (int c = 1; c < 256; ++c)
        if (c != '\'')
            all.push_back(static_cast<char>(c));
    db.exec("create table T (V blob)");
    db.exec("insert into T values (cast(x'" + [&] {
        std::string hex;
        for (unsigned char c : all) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", c);
            hex += digits;
        }
        return hex;
    }() + "' as text))");
    source->AddDetail("T", db.dataSet("ADODataSet3", "select * from T"), "", "");
    std::string expected;
    for (unsigned char c : all) {
        switch (c) {
        case '<': expected += "&lt;"; break;
        case '>': expected += "&gt;"; break;
        case '&': expected += "&amp;"; break;
        case '"': expected += "&quot;"; break;
        default: expected.push_back(static_cast<char>(c));
        }
    }
    EXPECT_EQ(source->GetXML(), "<DocumentData><T><Row V=\"" + expected + "\"/></T></DocumentData>");
}

// Field filters.

struct FilterCase {
    const char* name;
    const char* fieldList;
    const char* row; // the first master row
};

class FieldFilter : public DataSourceTest, public testing::WithParamInterface<FilterCase> { };

TEST_P(FieldFilter, PassesTheFields)
{
    source->SetMaster(departments, GetParam().fieldList);
    const std::string document = source->GetXML();
    EXPECT_EQ(document.substr(0, document.find("/>") + 2), std::string("<DocumentData><Master>") + GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FieldFilter,
    testing::Values(FilterCase { "Empty", "", "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\" Extra=\"x\"/>" },
                    FilterCase { "OnlyBlanks", "   ", "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\" Extra=\"x\"/>" },
                    FilterCase { "OnlyCommas", ",,", "<Row/>" },
                    FilterCase { "LetterCase", "deptno", "<Row DeptNo=\"10\"/>" },
                    FilterCase { "FieldOrderNotListOrder", "Extra,DeptNo", "<Row DeptNo=\"10\" Extra=\"x\"/>" },
                    FilterCase { "BlankInsideName", "Dept No", "<Row DeptNo=\"10\"/>" },
                    FilterCase { "NoSuchField", "Vacant", "<Row/>" },
                    FilterCase { "TabSeparates", "DeptNo\tExtra", "<Row DeptNo=\"10\" Extra=\"x\"/>" },
                    FilterCase { "Quoted", "\"Extra\"", "<Row Extra=\"x\"/>" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSourceTest, DetailRowWithNoPassingFieldKeepsItsMasterIndex)
{
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", ",");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master><Detail>"
              "<Row __MasterIdx=\"0\"/><Row __MasterIdx=\"0\"/><Row __MasterIdx=\"1\"/></Detail></DocumentData>");
}

TEST_F(DataSourceTest, NamesWithBlanksGoInUnchangedButNeverPassAFilter)
{
    TDataSet* spaced = tableMadeBy(
        "create table S (\"Dept Name\" varchar(5), Other varchar(5)); insert into S values ('a', 'b');", "S");
    source->AddDetail("My Detail", spaced, "", "");
    EXPECT_EQ(source->GetXML(), "<DocumentData><My Detail><Row Dept Name=\"a\" Other=\"b\"/></My Detail></DocumentData>");
    source->ClearDetails();
    source->AddDetail("D", spaced, "", "Dept Name,Other");
    EXPECT_EQ(source->GetXML(), "<DocumentData><D><Row Other=\"b\"/></D></DocumentData>");
}

TEST_F(DataSourceTest, FilterFoldsLetterCaseBeyondAscii)
{
    TDataSet* accented = tableMadeBy(
        "create table U (\"\xC3\xA9t\xC3\xA9\" varchar(5), Other varchar(5)); insert into U values ('a', 'b');", "U");
    source->AddDetail("D", accented, "", "\xC3\x89T\xC3\x89");
    EXPECT_EQ(source->GetXML(), "<DocumentData><D><Row \xC3\xA9t\xC3\xA9=\"a\"/></D></DocumentData>");
}

// Names that would forge markup are refused; the document must never hold rows the data lacks.

TEST_F(DataSourceTest, FieldNameThatWouldForgeMarkupFailsTheWrite)
{
    TDataSet* evil = tableMadeBy(
        "create table Evil (\"x\"\"/><Row a=\"\"1\" varchar(5), Fine varchar(5)); insert into Evil values ('v', 'w');",
        "Evil");
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("Detail", evil, "", "");
    std::string document = "untouched";
    try {
        document = source->GetXML();
        FAIL() << document;
    } catch (const EDatabaseError&) {
        FAIL() << "wrong class";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Field name 'x\"/><Row a=\"1' of ADODataSet3 cannot be written to the data document");
    }
    EXPECT_EQ(document, "untouched");
    // Filtered out, the name is never written and does no harm.
    source->ClearDetails();
    source->AddDetail("Detail", evil, "", "Fine");
    EXPECT_EQ(source->GetXML(), "<DocumentData><Master><Row DeptNo=\"10\"/><Row DeptNo=\"20\"/></Master><Detail>"
                                "<Row __MasterIdx=\"1\" Fine=\"w\"/></Detail></DocumentData>");
}

TEST_F(DataSourceTest, MarkupCharactersInNames)
{
    for (const char* name : { "a<b", "a>b", "a&b", "a\"b" }) {
        TXMLDataSource local(nullptr);
        local.AddDetail(name, employees, "", "");
        EXPECT_EQ(failureOf(local),
                  std::string("Exception: DetailID '") + name + "' of ADODataSet2 cannot be written to the data document");
    }
    // Characters that can neither open nor close markup in a name stay allowed.
    TXMLDataSource local(nullptr);
    local.AddDetail("a=b/c", departments, "", "Extra");
    EXPECT_EQ(local.GetXML(), "<DocumentData><a=b/c><Row Extra=\"x\"/><Row Extra=\"y\"/></a=b/c></DocumentData>");
}

// The value hook.

TEST_F(DataSourceTest, HandlerChangesValuesButNotMatching)
{
    int calls = 0;
    std::vector<std::string> seen;
    source->SetOnGetFieldValue([&](TField* field, std::string& value) {
        ++calls;
        seen.push_back(field->FieldName() + "=" + value);
        value += "!";
    });
    source->SetMaster(departments, "DeptNo");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    EXPECT_EQ(source->GetXML(),
              "<DocumentData><Master><Row DeptNo=\"10!\"/><Row DeptNo=\"20!\"/></Master><Detail>"
              "<Row __MasterIdx=\"0\" EmpNo=\"e1!\" DeptNo=\"10!\"/><Row __MasterIdx=\"0\" EmpNo=\"e2!\" DeptNo=\"10!\"/>"
              "<Row __MasterIdx=\"1\" EmpNo=\"e3!\" DeptNo=\"20!\"/></Detail></DocumentData>");
    // Two master attributes and three matched detail rows of two; the unmatched row costs nothing.
    EXPECT_EQ(calls, 8);
    EXPECT_EQ(seen.front(), "DeptNo=10");
    EXPECT_EQ(seen.back(), "DeptNo=20");
    EXPECT_EQ(source->CurrentValueText(), "20!");
    source->GetXML();
    EXPECT_EQ(calls, 16);
}

class Uppercasing : public TXMLDataSource {
public:
    using TXMLDataSource::TXMLDataSource;
    int calls = 0;

protected:
    void DoGetFieldValue(TField* Field, std::string& Value) override
    {
        ++calls;
        TXMLDataSource::DoGetFieldValue(Field, Value);
        Value = "[" + Value + "]";
    }
};

TEST_F(DataSourceTest, DoGetFieldValueIsTheOneHook)
{
    Uppercasing derived(nullptr);
    derived.SetMaster(departments, "DeptNo");
    derived.AddDetail("Detail", employees, "DeptNo=DeptNo", "EmpNo");
    EXPECT_EQ(derived.GetXML(),
              "<DocumentData><Master><Row DeptNo=\"[10]\"/><Row DeptNo=\"[20]\"/></Master><Detail>"
              "<Row __MasterIdx=\"0\" EmpNo=\"[e1]\"/><Row __MasterIdx=\"0\" EmpNo=\"[e2]\"/>"
              "<Row __MasterIdx=\"1\" EmpNo=\"[e3]\"/></Detail></DocumentData>");
    EXPECT_EQ(derived.calls, 5);
}

TEST_F(DataSourceTest, WritingTwiceGivesEqualDocumentsAndFreshKeys)
{
    source->SetEncoding("GB2312");
    source->SetMaster(departments, "DeptNo, DeptName");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "DeptNo");
    const std::string first = source->GetXML();
    EXPECT_EQ(source->GetXML(), first);
    EXPECT_EQ(first, ExampleDocument);
    EXPECT_EQ(source->Detail(0).keyList.count(), 2);
    // A write without master neither clears nor uses the keys.
    source->SetMaster(nullptr, "");
    source->GetXML();
    EXPECT_EQ(source->Detail(0).keyList.count(), 2);
}

} // namespace
