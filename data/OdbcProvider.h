#pragma once
// The provider "MSDASQL": any ODBC data source through unixODBC. The connection string's items
// other than "Provider" form the ODBC connection string; commands run as text and their whole
// result is read at execute, typed by the driver's column descriptions. Every failure raises
// EOleException whose text is the driver's diagnostic message (SQLGetDiagRec).

#include "Provider.h"

#include <memory>
#include <vector>

namespace vl
{

inline constexpr const char* OdbcProviderName = "MSDASQL";

// Connects with SQLDriverConnect, never prompting. Raises EOleException.
std::unique_ptr<ProviderConnection> openOdbcProvider(const std::vector<ConnectionItem>& items);

} // namespace vl
