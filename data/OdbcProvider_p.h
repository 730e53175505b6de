#pragma once
// Internals of the ODBC provider, visible to the data layer's tests only.

#include "Provider.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl
{

// The ODBC connection string of the items other than "Provider". The OLE DB names "Data Source",
// "User ID", "Password" and "Initial Catalog" become DSN, UID, PWD and DATABASE; "Extended
// Properties" holds ODBC text that is appended as it stands. A value holding ";", "{", "}" or
// blanks at an end is braced (a "}" inside doubled); a value already in braces is kept.
std::string odbcConnectionString(const std::vector<ConnectionItem>& items);

// How a column of an ODBC SQL type is reported and read.
enum class OdbcFetch : uint8_t { Integer, Boolean, Single, Double, Numeric, Date, Time, Timestamp, Guid, Text, Binary };

struct OdbcColumnType {
    int adoType = adEmpty;
    OdbcFetch fetch = OdbcFetch::Text;
    bool fixedLength = false;
};

// sqlType is SQLDescribeCol's data type (SQL_TYPE_DATE etc. or the ODBC 2 codes); isUnsigned is
// SQL_DESC_UNSIGNED. A type the table does not know is read as wide text (adLongVarWChar).
OdbcColumnType odbcColumnType(int sqlType, bool isUnsigned);

// A decimal text ("-12.5", "1E3") as ten-thousandths when it is exactly that (at most four
// decimals after trailing zeros go, within the 64-bit range); nullopt otherwise.
std::optional<int64_t> exactTenThousandths(std::string_view text);

} // namespace vl
