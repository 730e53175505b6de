#include "SampleComponents.h"

namespace vl {

const char* const SampleConnectionString =
    "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=test.mdb;Mode=Share Deny None;"
    "Extended Properties=\"\";Jet OLEDB:System database=\"\";Jet OLEDB:Registry Path=\"\";"
    "Jet OLEDB:Database Password=\"\";Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;"
    "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
    "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
    "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
    "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False";

void loadSampleDataComponents(TComponent* owner, TADOConnection*& connection, TADODataSet*& departments,
    TDataSource*& dataSource, TADODataSet*& employees)
{
    connection = new TADOConnection(owner);
    connection->SetName("ADOConnection1");
    connection->SetConnectionString(SampleConnectionString);
    connection->SetLoginPrompt(false);
    connection->SetProvider("Microsoft.Jet.OLEDB.4.0");

    departments = new TADODataSet(owner);
    departments->SetName("ADODataSet1");
    departments->SetConnection(connection);
    departments->SetCursorType(ctStatic);
    departments->SetCommandText("select * from Bas_Department order by deptno");
    TFieldDefs& defs = departments->FieldDefs();
    defs.Add("ID", ftAutoInc, 0, faReadonly | faFixed);
    defs.Add("DeptNo", ftInteger, 0, faFixed);
    defs.Add("DeptName", ftWideString, 20);
    defs.Add("DeptCode", ftWideString, 20);
    defs.Add("ParentNo", ftInteger, 0, faFixed);
    defs.Add("PathNo", ftMemo);
    defs.Add("PathName", ftMemo);
    defs.Add("Level", ftInteger, 0, faFixed);
    defs.Add("Ord", ftInteger, 0, faFixed);
    departments->SetStoreDefs(true);

    dataSource = new TDataSource(owner);
    dataSource->SetName("DataSource1");

    employees = new TADODataSet(owner);
    employees->SetName("ADODataSet2");
    employees->SetConnection(connection);
    employees->SetCursorType(ctStatic);
    employees->SetCommandText("select * from Bas_Employee order by deptno");

    // References resolved after all four exist, as the form loader does.
    dataSource->SetDataSet(employees);
    departments->SetDataSource(dataSource);
}

} // namespace vl
