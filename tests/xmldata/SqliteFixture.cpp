#include "SqliteFixture.h"

#include "ADODB.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vl::test {

FixtureDatabase::FixtureDatabase() : m_owner(std::make_unique<TComponent>(nullptr))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "xmldata-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        ADD_FAILURE() << "cannot make a temporary folder";
    m_folder = pattern;
    m_path = m_folder + "/fixture.mdb";
}

FixtureDatabase::~FixtureDatabase()
{
    m_owner.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

void FixtureDatabase::exec(const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << "\n" << sql;
    sqlite3_free(error);
    sqlite3_close(db);
}

TADOConnection* FixtureDatabase::connection()
{
    if (!m_connection) {
        m_connection = new TADOConnection(m_owner.get());
        m_connection->SetName("ADOConnection1");
        m_connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_path);
        m_connection->SetLoginPrompt(false);
    }
    return m_connection;
}

TDataSet* FixtureDatabase::dataSet(const std::string& name, const std::string& sql, bool open)
{
    auto* dataSet = new TADODataSet(m_owner.get());
    dataSet->SetName(name);
    dataSet->SetConnection(connection());
    dataSet->SetCursorType(ctStatic);
    dataSet->SetCommandText(sql);
    if (open)
        dataSet->Open();
    return dataSet;
}

} // namespace vl::test
