#pragma once
// Fixture databases made with the SQLite C API in a temporary folder, opened through the data
// layer's connection and data sets as the window opens its own.

#include "DB.h"

#include <memory>
#include <string>

class TADOConnection;

namespace vl::test {

class FixtureDatabase {
public:
    // A new, empty database file in a fresh temporary folder; the folder goes with the object.
    FixtureDatabase();
    ~FixtureDatabase();
    FixtureDatabase(const FixtureDatabase&) = delete;
    FixtureDatabase& operator=(const FixtureDatabase&) = delete;

    const std::string& folder() const { return m_folder; }
    const std::string& path() const { return m_path; }
    // Runs SQL statements on the file; a failure fails the current test.
    void exec(const std::string& sql);

    // A connection to the file (named ADOConnection1) and data sets over it; all are owned here.
    TADOConnection* connection();
    // Created with the name and command text, opened when open is true.
    TDataSet* dataSet(const std::string& name, const std::string& sql, bool open = true);

private:
    std::string m_folder;
    std::string m_path;
    std::unique_ptr<TComponent> m_owner;
    TADOConnection* m_connection = nullptr;
};

} // namespace vl::test
