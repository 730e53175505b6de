#pragma once
// The main window's four data components as its form description gives them; nothing is opened.

#include "ADODB.h"

namespace vl {

// The connection string of ADOConnection1, byte for byte.
extern const char* const SampleConnectionString;

// Creates ADOConnection1, ADODataSet1, DataSource1 and ADODataSet2 owned by owner, in that
// order, sets their stored properties and resolves the links once all exist.
void loadSampleDataComponents(TComponent* owner, TADOConnection*& connection, TADODataSet*& departments,
    TDataSource*& dataSource, TADODataSet*& employees);

} // namespace vl
