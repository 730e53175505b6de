#include "DB.h"

#include "ADODB.h"
#include "Fields.h"
#include "Fixture.h"

#include <gtest/gtest.h>

using vl::test::FakeDataSet;
using vl::test::messageOf;
using vl::test::FakeProvider;
using vl::ProviderCell;
using vl::test::FakeResult;

namespace {

TEST(FieldTypeNames, InTheOrderOfTheTypes)
{
    const char* expected[] = {"Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency",
        "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo",
        "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString", "LargeInt", "ADT", "Array",
        "Reference", "DataSet", "HugeBlob", "HugeClob", "Variant", "Interface", "Dispatch", "Guid", "SQLTimeStamp",
        "FMTBcdField"};
    for (int type = ftUnknown; type <= ftFMTBcd; ++type)
        EXPECT_STREQ(fieldTypeName(static_cast<TFieldType>(type)), expected[type]);
}

TEST(ClosedDataSet, EveryMoveFailsWithTheNamePrefix)
{
    FakeDataSet fake;
    const std::string closed = "ADODataSet1: Cannot perform this operation on a closed dataset";
    EXPECT_EQ(messageOf([&] { fake.dataSet->First(); }), closed);
    EXPECT_EQ(messageOf([&] { fake.dataSet->Next(); }), closed);
    EXPECT_EQ(messageOf([&] { fake.dataSet->AtEnd(); }), closed);
    fake.dataSet->SetName("");
    EXPECT_EQ(messageOf([&] { fake.dataSet->First(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(fake.dataSet->FieldCount(), 0);
}

TEST(FieldLookup, CaseInsensitiveFirstMatchElseNamedFailure)
{
    FakeResult result;
    result.addColumn("DeptNo", vl::adInteger);
    result.addColumn("Name", vl::adVarWChar, 20);
    result.rows.push_back({FakeResult::integer(1), result.text("a")});
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->SetName("ADODataSet2");
    fake.dataSet->Open();
    EXPECT_EQ(fake.dataSet->FieldNamed("deptno"), fake.dataSet->FieldAt(0));
    EXPECT_EQ(fake.dataSet->FieldNamed("NAME"), fake.dataSet->FieldAt(1));
    EXPECT_EQ(messageOf([&] { fake.dataSet->FieldNamed("DeptNo2"); }), "ADODataSet2: Field 'DeptNo2' not found");
    EXPECT_EQ(fake.dataSet->FindField("none"), nullptr);
    EXPECT_EQ(fake.dataSet->GetFieldList(" name ; DEPTNO").size(), 2u);
}

TEST(Walking, FirstNextAtEnd)
{
    FakeResult result;
    result.addColumn("N", vl::adInteger);
    for (int i = 1; i <= 3; ++i)
        result.rows.push_back({FakeResult::integer(i)});
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();
    std::string seen;
    for (fake.dataSet->First(); !fake.dataSet->AtEnd(); fake.dataSet->Next())
        seen += fake.dataSet->FieldAt(0)->ValueText();
    EXPECT_EQ(seen, "123");
    fake.dataSet->Next();
    EXPECT_TRUE(fake.dataSet->AtEnd());
    fake.dataSet->First();
    EXPECT_FALSE(fake.dataSet->AtEnd());
    EXPECT_EQ(fake.dataSet->FieldAt(0)->ValueText(), "1");
}

TEST(Walking, EmptyResultIsAtEndAtOnce)
{
    FakeResult result;
    result.addColumn("N", vl::adInteger);
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();
    EXPECT_TRUE(fake.dataSet->AtEnd());
    EXPECT_EQ(fake.dataSet->FieldAt(0)->ValueText(), "");
    fake.dataSet->First();
    EXPECT_TRUE(fake.dataSet->AtEnd());
}

TEST(LazyValues, AFieldReadTwiceOnARecordReachesTheProviderOnce)
{
    FakeResult result;
    result.addColumn("A", vl::adInteger);
    result.addColumn("B", vl::adVarWChar, 10);
    result.rows.push_back({FakeResult::integer(1), result.text("x")});
    result.rows.push_back({FakeResult::integer(2), result.text("y")});
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();
    EXPECT_EQ(result.reads, 0u); // nothing is converted before it is asked for
    TField* a = fake.dataSet->FieldAt(0);
    EXPECT_EQ(a->ValueText(), "1");
    EXPECT_EQ(a->ValueText(), "1");
    EXPECT_FALSE(a->IsNull());
    EXPECT_EQ(result.reads, 1u);
    fake.dataSet->Next();
    EXPECT_EQ(a->ValueText(), "2");
    EXPECT_EQ(fake.dataSet->FieldAt(1)->ValueText(), "y");
    EXPECT_EQ(fake.dataSet->FieldAt(1)->ValueText(), "y");
    EXPECT_EQ(result.reads, 3u);
    EXPECT_EQ(fake.dataSet->ProviderReads(), 3u);
}

// A text value is read where the provider keeps it, a converted one is kept by the value: a slot
// that changes from one to the other between records must never show the other's bytes.
TEST(LazyValues, TextsReadInPlaceOrConvertedKeepTheirOwnRecordsBytes)
{
    FakeResult result;
    result.addColumn("Any", vl::adVariant);
    result.addColumn("Narrow", vl::adVarChar, 4);
    result.rows.push_back({result.text("first"), result.text("abcdef")});
    result.rows.push_back({FakeResult::integer(7), result.text("")});
    ProviderCell nullBytes; // empty bytes with no storage behind them
    nullBytes.kind = ProviderCell::Kind::Text;
    result.rows.push_back({nullBytes, result.text("xyz")});
    result.rows.push_back({result.text("last"), FakeResult::null()});
    FakeProvider provider(result);
    FakeDataSet fake;
    fake.dataSet->Open();
    TField* any = fake.dataSet->FieldAt(0);
    TField* narrow = fake.dataSet->FieldAt(1);

    std::vector<std::pair<std::string, std::string>> seen;
    std::vector<TFieldValue> copies;
    for (fake.dataSet->First(); !fake.dataSet->AtEnd(); fake.dataSet->Next()) {
        seen.emplace_back(any->ValueText(), narrow->ValueText());
        copies.push_back(narrow->Value());
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {"first", "abcd"}, {"7", ""}, {"", "xyz"}, {"last", ""}}));
    // Copies outlive the records they were read on, and the slot they came from.
    ASSERT_EQ(copies.size(), 4u);
    EXPECT_EQ(copies[0].text(), "abcd");
    EXPECT_EQ(copies[2].text(), "xyz");
}

TEST(LazyValues, AValueSwitchesBetweenBorrowedAndOwnedBytes)
{
    TFieldValue value;
    EXPECT_EQ(value.text(), "");
    value.ownText("owned");
    EXPECT_EQ(value.text(), "owned");
    const std::string provider = "borrowed";
    value.borrowText(provider);
    EXPECT_EQ(value.text(), "borrowed");
    EXPECT_EQ(value.text().data(), provider.data()); // not copied
    value.borrowText(std::string_view());
    EXPECT_EQ(value.text(), ""); // not the owned bytes of before
    value.ownText("again");
    EXPECT_EQ(value.text(), "again");
    TFieldValue copy = value;
    value.ownText("changed");
    EXPECT_EQ(copy.text(), "again");
}

class Links : public ::testing::Test {
protected:
    Links()
    {
        m_result.addColumn("DeptNo", vl::adInteger);
        m_result.rows.push_back({FakeResult::integer(1)});
        m_result.rows.push_back({FakeResult::integer(2)});
        m_result.rows.push_back({FakeResult::integer(2)});
    }
    FakeResult m_result;
    FakeProvider m_provider{m_result};
    FakeDataSet m_fake;
    TADODataSet* m_other = new TADODataSet(m_fake.owner.get());
    TDataSource* m_source1 = new TDataSource(m_fake.owner.get());
    TDataSource* m_source2 = new TDataSource(m_fake.owner.get());
};

TEST_F(Links, CircularLinksAreRefused)
{
    m_other->SetName("ADODataSet2");
    m_source1->SetDataSet(m_other);
    m_fake.dataSet->SetDataSource(m_source1);
    m_source2->SetDataSet(m_fake.dataSet);
    EXPECT_EQ(messageOf([&] { m_other->SetDataSource(m_source2); }),
        "ADODataSet2: Circular datalinks are not allowed");
    TDataSource* self = new TDataSource(m_fake.owner.get());
    self->SetDataSet(m_other);
    EXPECT_EQ(messageOf([&] { m_other->SetDataSource(self); }), "ADODataSet2: Circular datalinks are not allowed");
    EXPECT_EQ(m_other->GetDataSource(), nullptr);
}

TEST_F(Links, ADataSourceRefusesADataSetThatTakesItsMasterFromIt)
{
    m_source1->SetName("DataSource1");
    m_source1->SetDataSet(m_other);
    m_fake.dataSet->SetDataSource(m_source1);
    m_source1->SetDataSet(nullptr);
    EXPECT_EQ(messageOf([&] { m_source1->SetDataSet(m_fake.dataSet); }),
        "DataSource1: Circular datalinks are not allowed");
    EXPECT_EQ(m_source1->DataSet(), nullptr);
    m_source2->SetDataSet(m_other);
    m_other->SetDataSource(m_source1);
    // Linking back through a second data set is found as well.
    EXPECT_EQ(messageOf([&] { m_source1->SetDataSet(m_fake.dataSet); }),
        "DataSource1: Circular datalinks are not allowed");
}

TEST_F(Links, OpeningTheMasterWithoutMasterFieldsClearsTheDetailFilterOnly)
{
    m_other->SetConnection(m_fake.connection);
    m_other->SetCommandText("select");
    m_source1->SetDataSet(m_other);
    m_fake.dataSet->SetDataSource(m_source1);
    m_fake.dataSet->Open();
    m_fake.dataSet->Next();
    m_other->Open();
    for (m_other->First(); !m_other->AtEnd(); m_other->Next()) {
    }
    EXPECT_EQ(m_fake.dataSet->ProviderFilter(), "");
    EXPECT_EQ(m_fake.dataSet->RecordCount(), 3);
    EXPECT_EQ(m_fake.dataSet->FieldAt(0)->ValueText(), "2"); // still on its second record
    m_other->Close();
    EXPECT_EQ(m_fake.dataSet->RecordCount(), 3);
}

TEST_F(Links, MasterFieldsFilterTheDetail)
{
    m_other->SetConnection(m_fake.connection);
    m_other->SetCommandText("select");
    m_source1->SetDataSet(m_other);
    m_fake.dataSet->SetDataSource(m_source1);
    m_fake.dataSet->SetMasterFields("deptno");
    m_fake.dataSet->Open();
    m_other->Open();
    EXPECT_EQ(m_fake.dataSet->ProviderFilter(), "(DeptNo=1)");
    EXPECT_EQ(m_fake.dataSet->RecordCount(), 1);
    m_other->Next();
    EXPECT_EQ(m_fake.dataSet->ProviderFilter(), "(DeptNo=2)");
    EXPECT_EQ(m_fake.dataSet->RecordCount(), 2);
    m_other->Close();
    EXPECT_EQ(m_fake.dataSet->ProviderFilter(), "");
    EXPECT_EQ(m_fake.dataSet->RecordCount(), 3);
}

TEST_F(Links, DestroyingAnEndOfALinkDetachesIt)
{
    m_source1->SetDataSet(m_other);
    m_fake.dataSet->SetDataSource(m_source1);
    delete m_other;
    EXPECT_EQ(m_source1->DataSet(), nullptr);
    delete m_source1;
    EXPECT_EQ(m_fake.dataSet->GetDataSource(), nullptr);
}

TEST(FieldDefs, IndexOfIgnoresCase)
{
    TFieldDefs defs;
    defs.Add("DeptNo", ftInteger);
    defs.Add("Name", ftWideString, 20);
    EXPECT_EQ(defs.IndexOf("NAME"), 1);
    EXPECT_EQ(defs.IndexOf("x"), -1);
    EXPECT_EQ(defs.Items(1).FieldNo, 2);
}

} // namespace
