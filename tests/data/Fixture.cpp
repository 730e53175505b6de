#include "Fixture.h"

#include "Exceptions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace vl::test {
namespace {
FakeResult* currentFake = nullptr;

class FakeResultView final : public ProviderResult {
public:
    explicit FakeResultView(const FakeResult& fake) : m_fake(fake) {}
    const std::vector<ProviderColumn>& columns() const override { return m_fake.columns; }
    std::size_t rowCount() const override { return m_fake.rows.size(); }
    ProviderCell cell(std::size_t row, std::size_t column) const override
    {
        ++m_fake.reads;
        return m_fake.rows.at(row).at(column);
    }

private:
    const FakeResult& m_fake;
};

class FakeConnection final : public ProviderConnection {
public:
    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override
    {
        if (commandText == "no result")
            return nullptr;
        if (commandText == "fail")
            providerError("The fake command failed.  \r\n", DB_E_ERRORSINCOMMAND);
        return std::make_unique<FakeResultView>(*currentFake);
    }
};
} // namespace

std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "no failure";
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-data-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

void createDatabase(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
    char* message = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

CurrentDirectory::CurrentDirectory(const std::string& path)
{
    m_previous = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

CurrentDirectory::~CurrentDirectory() { std::filesystem::current_path(m_previous); }

ScopedLocale::ScopedLocale(const char* name)
{
    const char* previous = std::setlocale(LC_ALL, nullptr);
    m_previous = previous ? previous : "C";
    m_ok = std::setlocale(LC_ALL, name) != nullptr;
}

ScopedLocale::~ScopedLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }

ProviderColumn& FakeResult::addColumn(std::string name, int type, int size)
{
    ProviderColumn& column = columns.emplace_back();
    column.name = std::move(name);
    column.type = type;
    column.definedSize = size;
    column.isUpdatable = true;
    return column;
}

ProviderCell FakeResult::text(std::string value)
{
    texts.push_back(std::move(value));
    return textCell(texts.back());
}

ProviderCell FakeResult::integer(int64_t value)
{
    return integerCell(value);
}

ProviderCell FakeResult::real(double value)
{
    return floatCell(value);
}

ProviderCell FakeResult::currency(int64_t tenThousandths)
{
    return currencyCell(tenThousandths);
}

ProviderCell FakeResult::date(double dayNumber)
{
    return dateCell(dayNumber);
}

FakeProvider::FakeProvider(FakeResult& result)
{
    currentFake = &result;
    registerProvider("Test.Fake", [](const std::vector<ConnectionItem>&) -> std::unique_ptr<ProviderConnection> {
        return std::make_unique<FakeConnection>();
    });
}

FakeProvider::~FakeProvider()
{
    unregisterProvider("Test.Fake");
    currentFake = nullptr;
}

ConnectedDataSet connectDataSet(TComponent& owner, const std::string& connectionString)
{
    auto* connection = new TADOConnection(&owner);
    connection->SetConnectionString(connectionString);
    auto* dataSet = new TADODataSet(&owner);
    dataSet->SetConnection(connection);
    return {connection, dataSet};
}

FakeDataSet::FakeDataSet()
{
    connection = new TADOConnection(owner.get());
    connection->SetName("ADOConnection1");
    connection->SetConnectionString(FakeProvider::ConnectionString);
    dataSet = new TADODataSet(owner.get());
    dataSet->SetName("ADODataSet1");
    dataSet->SetConnection(connection);
    dataSet->SetCommandText("select");
}

} // namespace vl::test
