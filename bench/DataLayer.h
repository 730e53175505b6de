#pragma once
// The departments and employees of a generated database, opened through the data layer as the
// window opens its own (ADOConnection1, ADODataSet1, ADODataSet2).

#include "ADODB.h"
#include "DatabaseGenerator.h"

#include <memory>
#include <string>

namespace vl::bench {

class OpenDatabase {
public:
    explicit OpenDatabase(const std::string& path) : m_owner(std::make_unique<TComponent>(nullptr))
    {
        auto* connection = new TADOConnection(m_owner.get());
        connection->SetName("ADOConnection1");
        connection->SetConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
        connection->SetLoginPrompt(false);
        m_master = openDataSet(connection, "ADODataSet1", DepartmentQuery);
        m_detail = openDataSet(connection, "ADODataSet2", EmployeeQuery);
    }
    TDataSet* master() const { return m_master; }
    TDataSet* detail() const { return m_detail; }

private:
    TDataSet* openDataSet(TADOConnection* connection, const char* name, const char* sql)
    {
        auto* dataSet = new TADODataSet(m_owner.get());
        dataSet->SetName(name);
        dataSet->SetConnection(connection);
        dataSet->SetCursorType(ctStatic);
        dataSet->SetCommandText(sql);
        dataSet->Open();
        return dataSet;
    }

    std::unique_ptr<TComponent> m_owner;
    TDataSet* m_master = nullptr;
    TDataSet* m_detail = nullptr;
};

} // namespace vl::bench
