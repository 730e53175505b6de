#pragma once
// The provider layer under the ADO-style components: a registry of providers chosen by the
// connection string's "Provider" item, a connection that runs command text, and a static
// client-side result read completely at open. Failures raise EOleException with the provider's text.

#include "TextFault.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// ADO DataTypeEnum codes that the providers report.
enum AdoType : int {
    adEmpty = 0, adSmallInt = 2, adInteger = 3, adSingle = 4, adDouble = 5, adCurrency = 6, adDate = 7,
    adBSTR = 8, adIDispatch = 9, adError = 10, adBoolean = 11, adVariant = 12, adIUnknown = 13,
    adDecimal = 14, adTinyInt = 16, adUnsignedTinyInt = 17, adUnsignedSmallInt = 18, adUnsignedInt = 19,
    adBigInt = 20, adUnsignedBigInt = 21, adFileTime = 64, adGUID = 72, adBinary = 128, adChar = 129,
    adWChar = 130, adNumeric = 131, adDBDate = 133, adDBTime = 134, adDBTimeStamp = 135, adChapter = 136,
    adDBFileTime = 137, adPropVariant = 138, adVarNumeric = 139, adVarChar = 200, adLongVarChar = 201,
    adVarWChar = 202, adLongVarWChar = 203, adVarBinary = 204, adLongVarBinary = 205
};

struct ConnectionItem {
    std::string name;
    std::string value;
};

struct ConnectionStringParseResult : TextFault {
    std::vector<ConnectionItem> items;
};

// name=value items joined by ";"; a value may be quoted with '"' or '\'' (the quote doubled inside
// stands for itself) and then may hold ";". Names are trimmed; a later item of the same name wins.
ConnectionStringParseResult parseConnectionString(std::string_view text);
// Value of the item named (case-insensitive), or nullopt.
std::optional<std::string> connectionItem(const std::vector<ConnectionItem>& items, std::string_view name);

// One result column as the provider describes it.
struct ProviderColumn {
    std::string name;
    int type = adEmpty;
    int definedSize = 0;
    int precision = 0;
    int scale = 0;
    // Empty when the provider does not carry the ISAUTOINCREMENT property.
    std::optional<bool> isAutoIncrement;
    bool isFixedLength = false;
    bool isUpdatable = false;
    bool isMaybeUpdatable = false;
    bool isRowId = false;
};

// One value of the result, already typed by its column's reported type. Text is UTF-8;
// bytes and text views stay valid while the result lives.
struct ProviderCell {
    enum class Kind : uint8_t { Null, Integer, Float, Currency, Date, Text, Bytes };
    Kind kind = Kind::Null;
    int64_t integer = 0; // Integer; Currency counts ten-thousandths
    double real = 0;     // Float; Date is the day number
    std::string_view bytes;
};

// A cell of each kind. Text and bytes cells borrow their view, which must outlive the cell.
inline ProviderCell integerCell(int64_t value) { return { ProviderCell::Kind::Integer, value, 0, {} }; }
inline ProviderCell currencyCell(int64_t tenThousandths)
{
    return { ProviderCell::Kind::Currency, tenThousandths, 0, {} };
}
inline ProviderCell floatCell(double value) { return { ProviderCell::Kind::Float, 0, value, {} }; }
inline ProviderCell dateCell(double dayNumber) { return { ProviderCell::Kind::Date, 0, dayNumber, {} }; }
inline ProviderCell textCell(std::string_view value) { return { ProviderCell::Kind::Text, 0, 0, value }; }
inline ProviderCell bytesCell(std::string_view value) { return { ProviderCell::Kind::Bytes, 0, 0, value }; }

class ProviderResult {
public:
    virtual ~ProviderResult() = default;
    virtual const std::vector<ProviderColumn>& columns() const = 0;
    virtual std::size_t rowCount() const = 0;
    // row below rowCount, column below columns().size().
    virtual ProviderCell cell(std::size_t row, std::size_t column) const = 0;
};

class ProviderConnection {
public:
    virtual ~ProviderConnection() = default;
    // Runs command text; null when the command yields no result set. Raises EOleException.
    virtual std::unique_ptr<ProviderResult> execute(std::string_view commandText) = 0;
};

// Opens a connection from the parsed connection string; raises EOleException.
using ProviderFactory = std::function<std::unique_ptr<ProviderConnection>(const std::vector<ConnectionItem>&)>;

// Registers (or replaces) a provider under its name; names compare case-insensitively.
// "Microsoft.Jet.OLEDB.4.0" is always registered.
void registerProvider(std::string_view name, ProviderFactory factory);
void unregisterProvider(std::string_view name);

// Parses the connection string, picks the provider and opens. Raises EOleException.
std::unique_ptr<ProviderConnection> openProviderConnection(std::string_view connectionString);

// The values a column of an integer ADO type can hold (adTinyInt, adSmallInt, adInteger, adBigInt
// and their unsigned forms; adUnsignedBigInt up to the largest value a cell holds); nullopt for
// every other type.
struct IntegerRange {
    int64_t low;
    int64_t high;
};
std::optional<IntegerRange> integerRange(int adoType);
// Raises EOleException "The value %s in column '%s' of row %zu is out of the range of its type (%lld
// to %lld)" unless value lies in the range of the column's type (any value when it has none).
// row counts from 0; valueText is the value as the provider read it.
void checkIntegerRange(const ProviderColumn& column, std::size_t row, int64_t value, std::string_view valueText = {});
// Raises checkIntegerRange's failure for a value that no integer of the column can hold.
[[noreturn]] void valueOutOfRange(const ProviderColumn& column, std::size_t row, std::string_view valueText);
// The shortest decimal text that reads back as value ("1e+30", "0.1", "inf", "nan").
std::string shortestText(double value);

// Raises EOleException with the text cleaned as the components report provider errors:
// trailing spaces, control characters and periods removed.
[[noreturn]] void providerError(std::string_view text, int32_t errorCode);
std::string cleanProviderMessage(std::string_view text);

// HRESULTs the built-in providers report.
inline constexpr int32_t E_PROVIDER_FAIL = static_cast<int32_t>(0x80004005);
inline constexpr int32_t DB_E_ERRORSINCOMMAND = static_cast<int32_t>(0x80040E14);
inline constexpr int32_t DB_E_NOTABLE = static_cast<int32_t>(0x80040E37);
inline constexpr int32_t ADO_E_PROVIDER_NOT_FOUND = static_cast<int32_t>(0x800A0E7A);

// Registration of the file-database provider (SqliteProvider.cpp).
std::unique_ptr<ProviderConnection> openJetProvider(const std::vector<ConnectionItem>& items);
inline constexpr const char* JetProviderName = "Microsoft.Jet.OLEDB.4.0";

} // namespace vl
