// The sample database written by the window's own calls.

#include "SampleComponents.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

class SampleDatabase : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(std::string(VL_RUN_DIR) + "/test.mdb")
            || !std::filesystem::exists(std::string(VL_RUN_DIR) + "/sqlite/test.mdb"))
            GTEST_SKIP() << "the sample databases are not built";
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(VL_RUN_DIR);
    }
    void TearDown() override
    {
        if (!m_previous.empty())
            std::filesystem::current_path(m_previous);
    }

private:
    std::filesystem::path m_previous;
};

// DeptNo of every row of a query, read straight from SQLite: from the SQLite build of the same
// script, since the program's test.mdb is a Jet file.
std::vector<std::string> deptNos(const char* sql)
{
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(VL_RUN_DIR "/sqlite/test.mdb", &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(st, 0);
        values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return values;
}

// The document of the window's calls on test.mdb in the current folder, by components under `form`;
// the two data sets stay open.
std::string windowsDocument(TComponent& form, TADODataSet*& departments, TADODataSet*& employees)
{
    TADOConnection* connection;
    TDataSource* dataSource;
    vl::loadSampleDataComponents(&form, connection, departments, dataSource, employees);
    connection->Open();
    departments->Open();
    employees->Open();
    auto* source = TXMLDataSource::Create(&form);
    source->SetEncoding("GB2312");
    source->SetMaster(departments, "");
    source->AddDetail("Detail", employees, "DeptNo=DeptNo", "");
    std::string document = source->GetXML();
    delete source;
    return document;
}

std::string windowsDocument()
{
    TComponent form(nullptr);
    TADODataSet* departments;
    TADODataSet* employees;
    return windowsDocument(form, departments, employees);
}

TEST_F(SampleDatabase, WindowsCallsGiveAWellFormedDocumentWhoseRowsRelate)
{
    TComponent form(nullptr);
    TADODataSet* departments;
    TADODataSet* employees;
    const std::string document = windowsDocument(form, departments, employees);

    ASSERT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>", 0), 0u);
    pugi::xml_document xml;
    // The bytes are the narrow code page's; the label is not what a parser should trust.
    ASSERT_TRUE(xml.load_buffer(document.data(), document.size(), pugi::parse_default, pugi::encoding_utf8));
    const pugi::xml_node root = xml.child("DocumentData");

    const auto masterNos = deptNos("select deptno from Bas_Department order by deptno");
    std::vector<pugi::xml_node> masterRows;
    for (auto row : root.child("Master").children("Row"))
        masterRows.push_back(row);
    ASSERT_EQ(masterRows.size(), masterNos.size());
    ASSERT_FALSE(masterRows.empty());
    EXPECT_EQ(std::distance(masterRows[0].attributes_begin(), masterRows[0].attributes_end()),
              departments->FieldCount());

    std::map<std::string, size_t> lastPosition;
    for (size_t i = 0; i < masterNos.size(); ++i) {
        EXPECT_EQ(masterRows[i].attribute("DeptNo").value(), masterNos[i]);
        lastPosition[masterNos[i]] = i;
    }
    size_t expectedDetailRows = 0;
    for (const auto& no : deptNos("select deptno from Bas_Employee order by deptno"))
        expectedDetailRows += lastPosition.count(no);
    size_t detailRows = 0;
    for (auto row : root.child("Detail").children("Row")) {
        ++detailRows;
        const std::string no = row.attribute("DeptNo").value();
        ASSERT_TRUE(lastPosition.count(no)) << no;
        EXPECT_EQ(row.attribute("__MasterIdx").as_ullong(), lastPosition[no]);
        EXPECT_STREQ(row.first_attribute().name(), "__MasterIdx");
    }
    EXPECT_EQ(detailRows, expectedDetailRows);
    EXPECT_TRUE(departments->Active());
    EXPECT_TRUE(employees->AtEnd());

    // vldata with the window's settings gives the same bytes.
    FILE* tool = popen("'" VLDATA_PATH "' --encoding GB2312 --master 'select * from Bas_Department order by deptno'"
                       " --detail Detail 'select * from Bas_Employee order by deptno' --relation DeptNo=DeptNo",
                       "r");
    ASSERT_NE(tool, nullptr);
    std::string output;
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, tool)) > 0;)
        output.append(chunk, n);
    EXPECT_EQ(pclose(tool), 0);
    EXPECT_EQ(output, document);
}

// The Jet sample the build makes and the SQLite build of the same script give the same bytes.
TEST_F(SampleDatabase, JetAndSqliteSamplesGiveTheSameDocument)
{
    const std::string jet = windowsDocument();
    std::filesystem::current_path(VL_RUN_DIR "/sqlite");
    const std::string sqlite = windowsDocument();
    EXPECT_GT(jet.size(), 5000u);
    EXPECT_EQ(jet, sqlite);
}

} // namespace
