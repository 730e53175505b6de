#pragma once
// Turns an SQL script (the dialect of the sqlite3 tool) into the table definitions and rows of a
// Jet database: the script runs into a scratch SQLite file, which is then read back through the
// data layer's own provider, so that column types, dates and amounts convert exactly as the
// program reads them.

#include "JetWriter.h"

#include <string>
#include <vector>

namespace vl
{

// Raises Exception with SQLite's text (and the script's name) when the script fails, or naming the
// table and column of a type a Jet 4 file cannot hold. scratchPath is created and removed.
std::vector<jet::TableDefinition> importSqlScript(const std::string& scriptPath, const std::string& scratchPath);

} // namespace vl
