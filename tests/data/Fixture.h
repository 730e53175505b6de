#pragma once
// Fixtures of the data layer's tests: temporary SQLite databases made with the C API, a scoped
// current directory, and a fake provider that counts its value reads.

#include "ADODB.h"
#include "Provider.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vl::test {

// The message of the Exception that action raises, or "no failure" when it returns.
std::string messageOf(const std::function<void()>& action);

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs sql (several statements) on a new database file; fails the test on an SQLite error.
void createDatabase(const std::string& path, const std::string& sql);

// Changes the current directory for its lifetime.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& path);
    ~CurrentDirectory();

private:
    std::string m_previous;
};

// Sets a locale for its lifetime (LC_ALL) and reloads nothing else.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name);
    ~ScopedLocale();
    bool ok() const { return m_ok; }

private:
    std::string m_previous;
    bool m_ok;
};

// A programmed result served by the provider "Test.Fake"; counts every cell read.
struct FakeResult {
    std::vector<ProviderColumn> columns;
    std::vector<std::vector<ProviderCell>> rows;
    std::deque<std::string> texts; // storage behind text cells
    mutable std::size_t reads = 0;

    ProviderColumn& addColumn(std::string name, int type, int size = 0);
    ProviderCell text(std::string value);
    static ProviderCell integer(int64_t value);
    static ProviderCell real(double value);
    static ProviderCell currency(int64_t tenThousandths);
    static ProviderCell date(double dayNumber);
    static ProviderCell null() { return {}; }
};

// Registers "Test.Fake" serving result (not owned) until destroyed.
class FakeProvider {
public:
    explicit FakeProvider(FakeResult& result);
    ~FakeProvider();
    static constexpr const char* ConnectionString = "Provider=Test.Fake;Data Source=fake";
};

// A connection over connectionString and a data set on it, both owned by owner; nothing is opened.
struct ConnectedDataSet {
    TADOConnection* connection;
    TADODataSet* dataSet;
};
ConnectedDataSet connectDataSet(TComponent& owner, const std::string& connectionString);

// A connection and data set over "Test.Fake", named ADOConnection1 and ADODataSet1.
struct FakeDataSet {
    std::unique_ptr<TComponent> owner = std::make_unique<TComponent>(nullptr);
    TADOConnection* connection;
    TADODataSet* dataSet;
    FakeDataSet();
};

} // namespace vl::test
