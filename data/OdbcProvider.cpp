#include "OdbcProvider.h"
#include "AsciiText_p.h"
#include "OdbcProvider_p.h"
#include "StoredResult_p.h"

#include "DateTimeFormat.h"
#include "Text.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vl
{

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC is built with 2-byte SQLWCHAR");

namespace
{

SQLWCHAR* wide(std::u16string& text)
{
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::u16string_view wideView(const SQLWCHAR* text, std::size_t length)
{
    return { reinterpret_cast<const char16_t*>(text), length };
}

bool failed(SQLRETURN rc)
{
    return rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO;
}

struct Diagnostic {
    std::string message;
    std::string state;
};

// The first diagnostic record of the handle: what the driver (or the driver manager) said.
Diagnostic diagnosticOf(SQLSMALLINT handleType, SQLHANDLE handle)
{
    Diagnostic result;
    if (!handle)
        return result;
    SQLWCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    std::u16string text(1024, u'\0');
    SQLRETURN rc = SQLGetDiagRecW(
        handleType, handle, 1, state, &nativeError, wide(text), static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
        text.assign(static_cast<std::size_t>(length) + 1, u'\0');
        rc = SQLGetDiagRecW(
            handleType, handle, 1, state, &nativeError, wide(text), static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (failed(rc))
        return result;
    text.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size()));
    result.message = utf16ToUtf8(text);
    result.state = utf16ToUtf8(wideView(state, 5));
    return result;
}

int32_t errorCodeOf(const std::string& state)
{
    if (state == "42S02")
        return DB_E_NOTABLE;
    if (state.starts_with("42") || state == "07001" || state == "37000")
        return DB_E_ERRORSINCOMMAND;
    return E_PROVIDER_FAIL;
}

[[noreturn]] void odbcError(SQLSMALLINT handleType, SQLHANDLE handle)
{
    Diagnostic diagnostic = diagnosticOf(handleType, handle);
    providerError(diagnostic.message, errorCodeOf(diagnostic.state));
}

// One ODBC handle, freed with its owner.
class Handle
{
public:
    Handle(SQLSMALLINT type, SQLHANDLE parent)
        : m_type(type)
    {
        if (failed(SQLAllocHandle(type, parent, &m_handle))) {
            m_handle = SQL_NULL_HANDLE;
            if (parent)
                odbcError(type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent);
            providerError("The ODBC driver manager could not allocate an environment.", E_PROVIDER_FAIL);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (m_handle)
            SQLFreeHandle(m_type, m_handle);
    }
    SQLHANDLE get() const { return m_handle; }
    // Raises the handle's diagnostic when rc is a failure.
    void check(SQLRETURN rc) const
    {
        if (failed(rc))
            odbcError(m_type, m_handle);
    }

private:
    SQLSMALLINT m_type;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

struct ColumnReader {
    OdbcFetch fetch;
    bool single;
};

class OdbcConnection final : public ProviderConnection
{
public:
    explicit OdbcConnection(const std::string& connectionString);
    ~OdbcConnection() override
    {
        if (m_connected)
            SQLDisconnect(m_dbc.get());
    }
    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override;

private:
    void readRow(StoredResult& result, const Handle& stmt, const std::vector<OdbcFetch>& fetches);
    // Long data comes in pieces: SQLGetData is called again while the driver has more (01004).
    // False for a null value.
    bool readPieces(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::string& bytes);

    Handle m_env { SQL_HANDLE_ENV, SQL_NULL_HANDLE };
    std::unique_ptr<Handle> m_dbc;
    bool m_connected = false;
};

OdbcConnection::OdbcConnection(const std::string& connectionString)
{
    m_env.check(SQLSetEnvAttr(m_env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    m_dbc = std::make_unique<Handle>(SQL_HANDLE_DBC, m_env.get());
    std::u16string text = utf8ToUtf16(connectionString);
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max()))
        providerError("The connection string is too long for ODBC.", E_PROVIDER_FAIL);
    SQLWCHAR completed[1024];
    SQLSMALLINT completedLength = 0;
    m_dbc->check(SQLDriverConnectW(m_dbc->get(), nullptr, wide(text), static_cast<SQLSMALLINT>(text.size()), completed,
        static_cast<SQLSMALLINT>(std::size(completed)), &completedLength, SQL_DRIVER_NOPROMPT));
    m_connected = true;
}

bool OdbcConnection::readPieces(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::string& bytes)
{
    // Text pieces end in a terminator the driver adds to every piece; binary pieces do not.
    const std::size_t terminator = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
    char buffer[8192];
    bytes.clear();
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt.get(), column, cType, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        stmt.check(rc);
        if (indicator == SQL_NULL_DATA)
            return false;
        const std::size_t room = sizeof buffer - terminator;
        std::size_t got = indicator == SQL_NO_TOTAL || indicator < 0 || static_cast<std::size_t>(indicator) > room
            ? room
            : static_cast<std::size_t>(indicator);
        if (terminator)
            got -= got % sizeof(SQLWCHAR);
        bytes.append(buffer, got);
        if (rc == SQL_SUCCESS)
            return true;
        // Success with information and a full buffer: the rest follows in the next call.
        if (got < room)
            return true;
    }
}

void OdbcConnection::readRow(StoredResult& result, const Handle& stmt, const std::vector<OdbcFetch>& fetches)
{
    const std::size_t width = fetches.size();
    const std::size_t row = result.appendRow();
    std::string bytes;
    for (std::size_t i = 0; i < width; ++i) {
        const CellRef cell = result.at(row, i);
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        SQLLEN indicator = 0;
        auto get = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
            stmt.check(SQLGetData(stmt.get(), column, cType, target, size, &indicator));
            return indicator != SQL_NULL_DATA;
        };
        switch (fetches[i]) {
        case OdbcFetch::Integer: {
            SQLBIGINT value = 0;
            if (get(SQL_C_SBIGINT, &value, sizeof value)) {
                // A driver may describe a column narrower than the values it gives (SQLite's INTEGER).
                checkIntegerRange(result.columns()[i], row, value);
                cell.setInteger(value);
            }
            break;
        }
        case OdbcFetch::Boolean: {
            unsigned char value = 0;
            if (get(SQL_C_BIT, &value, sizeof value))
                cell.setInteger(value ? -1 : 0);
            break;
        }
        case OdbcFetch::Single:
        case OdbcFetch::Double: {
            double value = 0;
            if (get(SQL_C_DOUBLE, &value, sizeof value))
                cell.setReal(fetches[i] == OdbcFetch::Single ? static_cast<double>(static_cast<float>(value)) : value);
            break;
        }
        case OdbcFetch::Numeric: {
            // The driver's exact decimal text, never a binary floating value in between.
            char text[128];
            if (get(SQL_C_CHAR, text, sizeof text)) {
                std::string_view value(text, std::min<std::size_t>(std::strlen(text), sizeof text - 1));
                if (std::optional<int64_t> exact = exactTenThousandths(value)) {
                    cell.setInteger(*exact, ProviderCell::Kind::Currency);
                } else {
                    // More decimals or digits than ten-thousandths hold: the nearest double.
                    cell.setReal(std::strtod(std::string(value).c_str(), nullptr));
                }
            }
            break;
        }
        case OdbcFetch::Date: {
            SQL_DATE_STRUCT value {};
            if (get(SQL_C_TYPE_DATE, &value, sizeof value))
                cell.setReal(encodeDayNumber(value.year, value.month, value.day), ProviderCell::Kind::Date);
            break;
        }
        case OdbcFetch::Time: {
            SQL_TIME_STRUCT value {};
            if (get(SQL_C_TYPE_TIME, &value, sizeof value))
                cell.setReal(
                    encodeDayNumber(1899, 12, 30, value.hour, value.minute, value.second), ProviderCell::Kind::Date);
            break;
        }
        case OdbcFetch::Timestamp: {
            SQL_TIMESTAMP_STRUCT value {};
            if (get(SQL_C_TYPE_TIMESTAMP, &value, sizeof value)) {
                // Nanoseconds to milliseconds, rounded; a full second carries into the day number.
                int millisecond = static_cast<int>((value.fraction + 500000) / 1000000);
                int second = value.second;
                if (millisecond >= 1000) {
                    millisecond -= 1000;
                    ++second;
                }
                cell.setReal(
                    encodeDayNumber(value.year, value.month, value.day, value.hour, value.minute, second, millisecond),
                    ProviderCell::Kind::Date);
            }
            break;
        }
        case OdbcFetch::Guid: {
            SQLGUID value {};
            if (get(SQL_C_GUID, &value, sizeof value)) {
                std::string text = format("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                    static_cast<unsigned>(value.Data1), value.Data2, value.Data3, value.Data4[0], value.Data4[1],
                    value.Data4[2], value.Data4[3], value.Data4[4], value.Data4[5], value.Data4[6], value.Data4[7]);
                result.storeBytes(cell, ProviderCell::Kind::Text, text);
            }
            break;
        }
        case OdbcFetch::Text:
            if (readPieces(stmt, column, SQL_C_WCHAR, bytes)) {
                std::string text = utf16ToUtf8(
                    std::u16string_view(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2));
                result.storeBytes(cell, ProviderCell::Kind::Text, text);
            }
            break;
        case OdbcFetch::Binary:
            if (readPieces(stmt, column, SQL_C_BINARY, bytes))
                result.storeBytes(cell, ProviderCell::Kind::Bytes, bytes);
            break;
        }
    }
}

SQLLEN numericAttribute(const Handle& stmt, SQLUSMALLINT column, SQLUSMALLINT field)
{
    SQLLEN value = 0;
    stmt.check(SQLColAttributeW(stmt.get(), column, field, nullptr, 0, nullptr, &value));
    return value;
}

int clampToInt(SQLULEN value)
{
    return value > static_cast<SQLULEN>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

std::unique_ptr<ProviderResult> OdbcConnection::execute(std::string_view commandText)
{
    Handle stmt(SQL_HANDLE_STMT, m_dbc->get());
    std::u16string text = utf8ToUtf16(commandText);
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<SQLINTEGER>::max()))
        providerError("The command text is too long for ODBC.", E_PROVIDER_FAIL);
    SQLRETURN rc = SQLExecDirectW(stmt.get(), wide(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA)
        stmt.check(rc);
    // A batch may start with statements that return no rows; the first result set counts.
    SQLSMALLINT width = 0;
    for (;;) {
        if (rc != SQL_NO_DATA)
            stmt.check(SQLNumResultCols(stmt.get(), &width));
        if (width > 0)
            break;
        rc = SQLMoreResults(stmt.get());
        if (rc == SQL_NO_DATA)
            return nullptr;
        stmt.check(rc);
    }

    auto result = std::make_unique<StoredResult>();
    std::vector<OdbcFetch> fetches;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(width); ++i) {
        std::u16string name(256, u'\0');
        SQLSMALLINT nameLength = 0, dataType = 0, decimalDigits = 0, nullable = 0;
        SQLULEN columnSize = 0;
        auto describe = [&] {
            return SQLDescribeColW(stmt.get(), i, wide(name), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                &dataType, &columnSize, &decimalDigits, &nullable);
        };
        rc = describe();
        stmt.check(rc);
        if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
            name.assign(static_cast<std::size_t>(nameLength) + 1, u'\0');
            stmt.check(describe());
        }
        name.resize(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLength, 0)));

        const bool isUnsigned = numericAttribute(stmt, i, SQL_DESC_UNSIGNED) == SQL_TRUE;
        const OdbcColumnType type = odbcColumnType(dataType, isUnsigned);
        ProviderColumn column;
        column.name = utf16ToUtf8(name);
        column.type = type.adoType;
        column.isFixedLength = type.fixedLength;
        switch (type.fetch) {
        case OdbcFetch::Numeric:
            column.precision = clampToInt(columnSize);
            column.scale = decimalDigits;
            column.definedSize = 19;
            break;
        case OdbcFetch::Integer:
        case OdbcFetch::Single:
        case OdbcFetch::Double:
            column.precision = clampToInt(columnSize);
            column.definedSize = clampToInt(static_cast<SQLULEN>(numericAttribute(stmt, i, SQL_DESC_OCTET_LENGTH)));
            break;
        case OdbcFetch::Boolean:
            column.definedSize = 2;
            break;
        case OdbcFetch::Date:
        case OdbcFetch::Time:
        case OdbcFetch::Timestamp:
            column.precision = clampToInt(columnSize);
            column.scale = decimalDigits;
            column.definedSize = 16;
            break;
        case OdbcFetch::Guid:
            column.definedSize = 16;
            break;
        case OdbcFetch::Text:
        case OdbcFetch::Binary:
            // Characters for text, bytes for binary; a driver without a limit says 0 or "no total".
            column.definedSize
                = columnSize == 0 || static_cast<SQLLEN>(columnSize) == SQL_NO_TOTAL ? INT_MAX : clampToInt(columnSize);
            break;
        }
        column.isAutoIncrement = numericAttribute(stmt, i, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
        const SQLLEN updatable = numericAttribute(stmt, i, SQL_DESC_UPDATABLE);
        column.isUpdatable = updatable == SQL_ATTR_WRITE;
        column.isMaybeUpdatable = updatable == SQL_ATTR_READWRITE_UNKNOWN;
        fetches.push_back(type.fetch);
        result->addColumn(std::move(column));
    }
    while ((rc = SQLFetch(stmt.get())) != SQL_NO_DATA) {
        stmt.check(rc);
        readRow(*result, stmt, fetches);
    }
    return result;
}

bool needsBraces(std::string_view value)
{
    if (value.empty())
        return false;
    if (value.front() == '{' && value.back() == '}' && value.size() >= 2)
        return false;
    return value.find_first_of(";{}") != std::string_view::npos || value.front() == ' ' || value.back() == ' ';
}

} // namespace

std::string odbcConnectionString(const std::vector<ConnectionItem>& items)
{
    static constexpr std::pair<const char*, const char*> oleDbNames[]
        = { { "Data Source", "DSN" }, { "User ID", "UID" }, { "Password", "PWD" }, { "Initial Catalog", "DATABASE" } };
    std::string result;
    std::string extended;
    for (const ConnectionItem& item : items) {
        if (sameAscii(item.name, "Provider"))
            continue;
        if (sameAscii(item.name, "Extended Properties")) {
            extended = item.value;
            continue;
        }
        std::string name = item.name;
        for (const auto& [oleDb, odbc] : oleDbNames)
            if (sameAscii(name, oleDb))
                name = odbc;
        if (!result.empty())
            result += ';';
        result += name;
        result += '=';
        if (needsBraces(item.value)) {
            result += '{';
            for (char c : item.value) {
                result += c;
                if (c == '}')
                    result += '}';
            }
            result += '}';
        } else {
            result += item.value;
        }
    }
    if (!extended.empty()) {
        if (!result.empty())
            result += ';';
        result += extended;
    }
    return result;
}

OdbcColumnType odbcColumnType(int sqlType, bool isUnsigned)
{
    using F = OdbcFetch;
    switch (sqlType) {
    case SQL_CHAR:
        return { adChar, F::Text, true };
    case SQL_VARCHAR:
        return { adVarChar, F::Text, false };
    case SQL_LONGVARCHAR:
        return { adLongVarChar, F::Text, false };
    case SQL_WCHAR:
        return { adWChar, F::Text, true };
    case SQL_WVARCHAR:
        return { adVarWChar, F::Text, false };
    case SQL_WLONGVARCHAR:
        return { adLongVarWChar, F::Text, false };
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return { adNumeric, F::Numeric, true };
    case SQL_SMALLINT:
        return { isUnsigned ? adUnsignedSmallInt : adSmallInt, F::Integer, true };
    case SQL_INTEGER:
        return { isUnsigned ? adUnsignedInt : adInteger, F::Integer, true };
    case SQL_TINYINT:
        return { isUnsigned ? adUnsignedTinyInt : adTinyInt, F::Integer, true };
    case SQL_BIGINT:
        return { isUnsigned ? adUnsignedBigInt : adBigInt, F::Integer, true };
    case SQL_REAL:
        return { adSingle, F::Single, true };
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return { adDouble, F::Double, true };
    case SQL_BIT:
        return { adBoolean, F::Boolean, true };
    case SQL_BINARY:
        return { adBinary, F::Binary, true };
    case SQL_VARBINARY:
        return { adVarBinary, F::Binary, false };
    case SQL_LONGVARBINARY:
        return { adLongVarBinary, F::Binary, false };
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return { adDBDate, F::Date, true };
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return { adDBTime, F::Time, true };
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return { adDBTimeStamp, F::Timestamp, true };
    case SQL_GUID:
        return { adGUID, F::Guid, true };
    default:
        // Intervals and driver-specific types: their text, which every driver can give.
        return { adLongVarWChar, F::Text, false };
    }
}

std::optional<int64_t> exactTenThousandths(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string_view whole = text, fraction;
    if (std::size_t dot = text.find('.'); dot != std::string_view::npos) {
        whole = text.substr(0, dot);
        fraction = text.substr(dot + 1);
    }
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (fraction.size() > 4)
        return std::nullopt;
    unsigned __int128 value = 0;
    auto addDigits = [&](std::string_view digits) {
        for (char c : digits) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > (static_cast<unsigned __int128>(1) << 64))
                return false;
        }
        return true;
    };
    if (!addDigits(whole) || !addDigits(fraction))
        return std::nullopt;
    for (std::size_t d = fraction.size(); d < 4; ++d)
        value *= 10;
    const auto limit = static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    if (value > limit)
        return std::nullopt;
    return negative ? static_cast<int64_t>(-static_cast<__int128>(value)) : static_cast<int64_t>(value);
}

std::unique_ptr<ProviderConnection> openOdbcProvider(const std::vector<ConnectionItem>& items)
{
    return std::make_unique<OdbcConnection>(odbcConnectionString(items));
}

} // namespace vl
