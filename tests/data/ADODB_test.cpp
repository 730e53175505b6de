#include "ADODB.h"

#include "Fields.h"
#include "Fixture.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::test;

namespace {

TEST(AdoTypes, EveryCodeOfTheTableMapsToItsFieldType)
{
    struct Case {
        int code;
        TFieldType type;
    };
    const Case cases[] = {{2, ftSmallint}, {16, ftSmallint}, {3, ftInteger}, {10, ftInteger}, {19, ftInteger},
        {17, ftWord}, {18, ftWord}, {20, ftLargeint}, {21, ftLargeint}, {4, ftFloat}, {5, ftFloat}, {6, ftBCD},
        {14, ftBCD}, {131, ftBCD}, {139, ftBCD}, {11, ftBoolean}, {7, ftDateTime}, {64, ftDateTime},
        {135, ftDateTime}, {137, ftDateTime}, {133, ftDate}, {134, ftTime}, {8, ftWideString}, {130, ftWideString},
        {202, ftWideString}, {129, ftFixedChar}, {200, ftString}, {201, ftMemo}, {203, ftMemo}, {205, ftBlob},
        {128, ftBytes}, {204, ftVarBytes}, {72, ftGuid}, {12, ftVariant}, {138, ftVariant}, {13, ftInterface},
        {9, ftIDispatch}, {136, ftDataSet}, {0, ftUnknown}, {1, ftUnknown}, {132, ftUnknown}, {999, ftUnknown}};
    for (const Case& c : cases)
        EXPECT_EQ(fieldTypeOfAdoType(c.code, true, 19, 4), c.type) << c.code;
    EXPECT_EQ(fieldTypeOfAdoType(adCurrency, false, 19, 4), ftBCD);
    EXPECT_EQ(fieldTypeOfAdoType(adNumeric, false, 19, 4), ftFloat);
    EXPECT_EQ(fieldTypeOfAdoType(adDecimal, false, 5, 0), ftFloat);
    EXPECT_EQ(fieldTypeOfAdoType(adNumeric, true, 9, 0), ftInteger);
    EXPECT_EQ(fieldTypeOfAdoType(adNumeric, true, 10, 0), ftBCD);
    EXPECT_EQ(fieldTypeOfAdoType(adNumeric, true, 9, 1), ftBCD);
}

TEST(FieldDefinitions, NamesTypesSizesAndAttributes)
{
    FakeResult result;
    result.addColumn("ID", adInteger).isAutoIncrement = true;
    result.columns[0].isUpdatable = false;
    result.columns[0].isFixedLength = true;
    result.addColumn("Name", adVarWChar, 20).isAutoIncrement = false;
    result.addColumn("name", adVarWChar, 30);
    result.addColumn("Name_1", adInteger);
    result.addColumn("NAME", adInteger);
    result.addColumn("", adInteger);
    result.addColumn("", adInteger);
    result.addColumn("Skipped", 132);
    result.addColumn("Amount", adNumeric).precision = 12;
    result.columns.back().scale = -1;
    result.addColumn("Key", adGUID, 16);
    result.addColumn("RowId", adInteger).isRowId = true;
    result.addColumn("Expr", adInteger).isUpdatable = false;
    result.addColumn("Maybe", adInteger).isUpdatable = false;
    result.columns.back().isMaybeUpdatable = true;
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();

    struct Expected {
        const char* name;
        TFieldType type;
        int size;
        TFieldAttributes attributes;
    };
    const Expected expected[] = {{"ID", ftAutoInc, 0, faReadonly | faFixed}, {"Name", ftWideString, 20, 0},
        {"name_1", ftWideString, 30, 0}, {"Name_1_1", ftInteger, 0, 0}, {"NAME_2", ftInteger, 0, 0},
        {"COLUMN1", ftInteger, 0, 0}, {"COLUMN2", ftInteger, 0, 0}, {"Amount", ftBCD, 4, 0},
        {"Key", ftGuid, 38, 0}, {"RowId", ftInteger, 0, faHiddenCol}, {"Expr", ftInteger, 0, faReadonly},
        {"Maybe", ftInteger, 0, 0}};
    const TFieldDefs& defs = fake.dataSet->FieldDefs();
    ASSERT_EQ(defs.Count(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < defs.Count(); ++i) {
        EXPECT_EQ(defs.Items(i).Name, expected[i].name) << i;
        EXPECT_EQ(defs.Items(i).DataType, expected[i].type) << i;
        EXPECT_EQ(defs.Items(i).Size, expected[i].size) << i;
        EXPECT_EQ(defs.Items(i).Attributes, expected[i].attributes) << i;
    }
    EXPECT_EQ(defs.Items(7).Precision, 12);
    // The hidden row identifier gets no field.
    ASSERT_EQ(fake.dataSet->FieldCount(), defs.Count() - 1);
    EXPECT_EQ(fake.dataSet->FieldAt(9)->FieldName(), "Expr");
    EXPECT_NE(dynamic_cast<TAutoIncField*>(fake.dataSet->FieldAt(0)), nullptr);
    EXPECT_NE(dynamic_cast<TGuidField*>(fake.dataSet->FieldAt(8)), nullptr);
}

TEST(FieldDefinitions, AutoIncrementNeedsThePropertyOnTheFirstColumn)
{
    FakeResult result;
    result.addColumn("First", adInteger); // no ISAUTOINCREMENT property at all
    result.addColumn("ID", adInteger).isAutoIncrement = true;
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();
    EXPECT_EQ(fake.dataSet->FieldDefs().Items(1).DataType, ftInteger);
}

TEST(FieldDefinitions, OpenDiscardsStoredDefinitions)
{
    FakeResult result;
    result.addColumn("Only", adInteger);
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->FieldDefs().Add("Stored", ftMemo);
    fake.dataSet->FieldDefs().Add("Other", ftMemo);
    fake.dataSet->Open();
    ASSERT_EQ(fake.dataSet->FieldDefs().Count(), 1);
    EXPECT_EQ(fake.dataSet->FieldDefs().Items(0).Name, "Only");
    fake.dataSet->Close();
    EXPECT_EQ(fake.dataSet->FieldCount(), 0);
}

TEST(OpenFailures, MessagesAndPrefixes)
{
    FakeResult result;
    result.addColumn("A", adInteger);
    FakeProvider provider(result);
    FakeDataSet fake;

    fake.dataSet->SetCommandText("");
    EXPECT_EQ(messageOf([&] { fake.dataSet->Open(); }), "ADODataSet1: Missing CommandText property");
    fake.dataSet->SetCommandText("no result");
    EXPECT_EQ(messageOf([&] { fake.dataSet->Open(); }), "ADODataSet1: CommandText does not return a result set");
    fake.dataSet->SetCommandText("fail");
    EXPECT_EQ(messageOf([&] { fake.dataSet->Open(); }), "The fake command failed");
    EXPECT_FALSE(fake.dataSet->Active());
    EXPECT_TRUE(fake.connection->Connected()); // the connection opened before the command failed

    fake.dataSet->SetConnection(nullptr);
    EXPECT_EQ(messageOf([&] { fake.dataSet->Open(); }), "Missing Connection or ConnectionString");
    EXPECT_FALSE(fake.dataSet->Active());
}

TEST(OpenFailures, AProviderErrorIsAnOleException)
{
    FakeDataSet fake;
    fake.connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/nonexistent/x.mdb");
    try {
        fake.dataSet->Open();
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Could not find file '/nonexistent/x.mdb'");
    }
    EXPECT_FALSE(fake.connection->Connected());
    EXPECT_FALSE(fake.dataSet->Active());
}

TEST(Connection, DefaultsAndClosingClosesItsDataSets)
{
    FakeResult result;
    result.addColumn("A", adInteger);
    FakeProvider provider(result);
    FakeDataSet fake;
    EXPECT_TRUE(fake.connection->LoginPrompt());
    EXPECT_TRUE(fake.connection->KeepConnection());
    EXPECT_EQ(fake.connection->CursorLocation(), clUseClient);
    EXPECT_EQ(fake.connection->IsolationLevel(), ilCursorStability);
    EXPECT_EQ(fake.connection->ConnectOptions(), coConnectUnspecified);
    EXPECT_EQ(fake.connection->Mode(), cmUnknown);
    EXPECT_EQ(fake.dataSet->CommandType(), cmdText);
    EXPECT_EQ(fake.dataSet->LockType(), ltOptimistic);
    EXPECT_EQ(fake.dataSet->CacheSize(), 1);
    EXPECT_EQ(fake.dataSet->MaxRecords(), 0);
    EXPECT_TRUE(fake.dataSet->EnableBCD());
    fake.dataSet->Open();
    fake.connection->Open(); // already open: nothing
    EXPECT_TRUE(fake.dataSet->Active());
    fake.connection->Close();
    EXPECT_FALSE(fake.dataSet->Active());
    delete fake.connection;
    EXPECT_EQ(fake.dataSet->Connection(), nullptr);
}

} // namespace

namespace {

TEST(FieldDefinitions, RenamingThroughTheFileDatabase)
{
    vl::test::TempDir dir;
    vl::test::createDatabase(dir.file("r.mdb"), "create table T (DeptNo integer, Name nvarchar(8));"
                                                "insert into T values (3, 'x');");
    FakeDataSet fake;
    fake.connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.file("r.mdb"));
    fake.dataSet->SetCommandText("select DeptNo, deptno, DeptNo, 1 as \"\", DeptNo * 2, Name from T");
    fake.dataSet->Open();
    std::vector<std::string> names;
    for (int i = 0; i < fake.dataSet->FieldCount(); ++i)
        names.push_back(fake.dataSet->FieldAt(i)->FieldName());
    EXPECT_EQ(names, (std::vector<std::string>{"DeptNo", "DeptNo_1", "DeptNo_2", "COLUMN1", "DeptNo * 2", "Name"}));
    EXPECT_EQ(fake.dataSet->FieldAt(4)->ValueText(), "6");
    EXPECT_EQ(fake.dataSet->FieldDefs().Items(4).Attributes & faReadonly, faReadonly);
    EXPECT_EQ(fake.dataSet->FieldDefs().Items(0).Attributes, faFixed);
}

} // namespace
