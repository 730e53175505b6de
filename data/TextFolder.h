#pragma once
// A folder of delimited text files as a read-only database: each *.csv or *.txt file is a table
// named by its file name ("select * from [staff.csv]"), read through an SQLite virtual table,
// so that the SQL of the file provider joins and groups them.

#include "Provider.h"

#include <memory>
#include <string>
#include <string_view>

namespace vl
{

// Opens folder (resolved against the current directory now) with the Extended Properties of the
// connection ("text;HDR=Yes;FMT=Delimited"). Raises EOleException when the folder is missing or
// is not a folder, or when the properties are malformed; a file is first read when a command
// names it.
std::unique_ptr<ProviderConnection> openTextFolder(const std::string& folder, std::string_view extendedProperties);

// True when the Extended Properties name the text convention ("text;...").
bool namesTextFiles(std::string_view extendedProperties);

} // namespace vl
