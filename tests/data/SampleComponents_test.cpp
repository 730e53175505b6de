#include "SampleComponents.h"

#include "Fields.h"
#include "Fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vl;
using vl::test::messageOf;

namespace {

struct Sample {
    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>(nullptr);
    TADOConnection* connection = nullptr;
    TADODataSet* departments = nullptr;
    TDataSource* dataSource = nullptr;
    TADODataSet* employees = nullptr;
    Sample() { loadSampleDataComponents(owner.get(), connection, departments, dataSource, employees); }
};

TEST(SampleComponents, AsTheFormDescriptionGivesThem)
{
    Sample s;
    ASSERT_EQ(s.owner->ComponentCount(), 4);
    EXPECT_EQ(s.owner->Components(0), s.connection);
    EXPECT_EQ(s.owner->Components(1), s.departments);
    EXPECT_EQ(s.owner->Components(2), s.dataSource);
    EXPECT_EQ(s.owner->Components(3), s.employees);
    EXPECT_EQ(s.connection->Name(), "ADOConnection1");
    EXPECT_EQ(s.departments->Name(), "ADODataSet1");
    EXPECT_EQ(s.dataSource->Name(), "DataSource1");
    EXPECT_EQ(s.employees->Name(), "ADODataSet2");
    EXPECT_EQ(s.connection->ConnectionString(),
        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=test.mdb;Mode=Share Deny None;"
        "Extended Properties=\"\";Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
        "Jet OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;"
        "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
        "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
        "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
        "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False");
    EXPECT_FALSE(s.connection->LoginPrompt());
    EXPECT_EQ(s.connection->Provider(), "Microsoft.Jet.OLEDB.4.0");
    EXPECT_FALSE(s.connection->Connected());
    EXPECT_EQ(s.departments->CommandText(), "select * from Bas_Department order by deptno");
    EXPECT_EQ(s.employees->CommandText(), "select * from Bas_Employee order by deptno");
    EXPECT_EQ(s.departments->CursorType(), ctStatic);
    EXPECT_EQ(s.employees->CursorType(), ctStatic);
    EXPECT_EQ(s.departments->Connection(), s.connection);
    EXPECT_EQ(s.employees->Connection(), s.connection);
    EXPECT_EQ(s.departments->GetDataSource(), s.dataSource);
    EXPECT_EQ(s.employees->GetDataSource(), nullptr);
    EXPECT_EQ(s.dataSource->DataSet(), s.employees);
    EXPECT_EQ(s.departments->Parameters().Count(), 0);
    EXPECT_TRUE(s.departments->StoreDefs());
    const char* names[] = {"ID", "DeptNo", "DeptName", "DeptCode", "ParentNo", "PathNo", "PathName", "Level", "Ord"};
    const TFieldType types[] = {ftAutoInc, ftInteger, ftWideString, ftWideString, ftInteger, ftMemo, ftMemo,
        ftInteger, ftInteger};
    const TFieldDefs& defs = s.departments->FieldDefs();
    ASSERT_EQ(defs.Count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(defs.Items(i).Name, names[i]);
        EXPECT_EQ(defs.Items(i).DataType, types[i]);
    }
    EXPECT_EQ(defs.Items(0).Attributes, faReadonly | faFixed);
    EXPECT_EQ(defs.Items(2).Size, 20);
    EXPECT_EQ(s.employees->FieldDefs().Count(), 0);
    EXPECT_FALSE(s.departments->Active());
}

class SampleDatabase : public ::testing::Test {
protected:
    vl::test::CurrentDirectory m_cwd{VL_RUN_DIR};
    Sample m_sample;
    void openAll()
    {
        m_sample.connection->Open();
        m_sample.departments->Open();
        m_sample.employees->Open();
    }
};

TEST_F(SampleDatabase, DepartmentsOpenWithTheStoredDefinitions)
{
    openAll();
    TADODataSet* ds = m_sample.departments;
    ASSERT_EQ(ds->FieldCount(), 9);
    const TFieldDefs& defs = ds->FieldDefs();
    const TFieldType types[] = {ftAutoInc, ftInteger, ftWideString, ftWideString, ftInteger, ftMemo, ftMemo,
        ftInteger, ftInteger};
    const TFieldAttributes attributes[] = {faReadonly | faFixed, faFixed, 0, 0, faFixed, 0, 0, faFixed, faFixed};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(defs.Items(i).DataType, types[i]) << i;
        EXPECT_EQ(defs.Items(i).Attributes, attributes[i]) << i;
    }
    EXPECT_EQ(defs.Items(2).Size, 20);
    EXPECT_EQ(defs.Items(3).Size, 20);
}

TEST_F(SampleDatabase, BothDataSetsWalkInDeptNoOrder)
{
    openAll();
    for (TADODataSet* ds : {m_sample.departments, m_sample.employees}) {
        int previous = -1, rows = 0;
        TField* deptNo = ds->FieldNamed("DEPTNO");
        for (ds->First(); !ds->AtEnd(); ds->Next()) {
            int value = std::stoi(deptNo->ValueText());
            EXPECT_LE(previous, value) << ds->Name();
            previous = value;
            ++rows;
        }
        EXPECT_GT(rows, 10) << ds->Name();
    }
}

TEST_F(SampleDatabase, TextThatLooksLikeANumberStaysText)
{
    openAll();
    TADODataSet* ds = m_sample.departments;
    std::vector<std::string> paths;
    for (ds->First(); !ds->AtEnd(); ds->Next())
        paths.push_back(ds->FieldNamed("PathNo")->ValueText());
    EXPECT_NE(std::find(paths.begin(), paths.end(), "001002"), paths.end());
    EXPECT_EQ(paths.front(), "001");
}

TEST_F(SampleDatabase, MovingTheEmployeesLeavesTheDepartmentsAlone)
{
    openAll();
    m_sample.departments->First();
    m_sample.departments->Next();
    const std::string second = m_sample.departments->FieldNamed("DeptNo")->ValueText();
    const int count = m_sample.departments->RecordCount();
    for (m_sample.employees->First(); !m_sample.employees->AtEnd(); m_sample.employees->Next()) {
    }
    EXPECT_EQ(m_sample.departments->FieldNamed("DeptNo")->ValueText(), second);
    EXPECT_EQ(m_sample.departments->RecordCount(), count);
    EXPECT_EQ(m_sample.departments->ProviderFilter(), "");
}

TEST(SampleDatabaseElsewhere, AnotherWorkingDirectoryFailsInTheConnection)
{
    vl::test::TempDir dir;
    vl::test::CurrentDirectory cwd(dir.path());
    Sample s;
    const std::string expected = "Could not find file '" + dir.file("test.mdb") + "'";
    EXPECT_EQ(messageOf([&] { s.connection->Open(); }), expected);
    EXPECT_FALSE(s.connection->Connected());
    EXPECT_EQ(messageOf([&] { s.departments->Open(); }), expected);
    EXPECT_FALSE(s.departments->Active());
    EXPECT_FALSE(s.employees->Active());
    EXPECT_EQ(messageOf([&] { s.departments->First(); }),
        "ADODataSet1: Cannot perform this operation on a closed dataset");
    EXPECT_FALSE(std::filesystem::exists(dir.file("test.mdb")));
}

TEST(SampleDatabaseElsewhere, AMissingTableFailsOnlyItsDataSet)
{
    vl::test::TempDir dir;
    vl::test::createDatabase(dir.file("test.mdb"), "create table Bas_Employee (DeptNo integer);");
    vl::test::CurrentDirectory cwd(dir.path());
    Sample s;
    s.connection->Open();
    EXPECT_EQ(messageOf([&] { s.departments->Open(); }), "The input table or query 'Bas_Department' cannot be found");
    EXPECT_FALSE(s.departments->Active());
    s.employees->Open();
    EXPECT_TRUE(s.employees->AtEnd());
    EXPECT_EQ(s.employees->FieldCount(), 1);
}

} // namespace
