#include "MdbProvider.h"

#include "JetDialect.h"
#include "MdbVirtualTable_p.h"
#include "SqliteProvider_p.h"
#include "StoredResult_p.h"

#include "Exceptions.h"
#include "Text.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vl
{
namespace
{

// Limits of a command text: SQLite refuses longer texts and deeper expressions with its message.
constexpr int MaxCommandBytes = 1 << 20;
constexpr int MaxExpressionDepth = 1000;
constexpr int MaxCompoundSelects = 100;

enum class Category { Integer, Boolean, Float, Currency, Date, Text, Binary, Untyped };

Category categoryOf(int type)
{
    switch (type) {
    case adUnsignedTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
        return Category::Integer;
    case adBoolean:
        return Category::Boolean;
    case adSingle:
    case adDouble:
        return Category::Float;
    case adCurrency:
    case adNumeric:
        return Category::Currency;
    case adDate:
        return Category::Date;
    case adBinary:
    case adLongVarBinary:
        return Category::Binary;
    case adEmpty:
        return Category::Untyped;
    default:
        return Category::Text;
    }
}

// Only reading: no ATTACH of another file, no PRAGMA, no change to anything.
int readOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

template <typename Number> bool parseWhole(std::string_view text, Number& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class JetConnection final : public ProviderConnection
{
public:
    JetConnection(std::string bytes, std::string name, const JetCommandLimits& limits)
        : m_tables(std::move(bytes), name)
        , m_name(std::move(name))
        , m_limits(limits)
    {
        // A connection serves one thread: SQLite's own locking is left out.
        const int rc = sqlite3_open_v2(
            ":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(m_db);
            providerError(
                format("Cannot open the database '%s': %s.", m_name.c_str(), sqlite3_errstr(rc)), E_PROVIDER_FAIL);
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_limit(m_db, SQLITE_LIMIT_SQL_LENGTH, MaxCommandBytes);
        sqlite3_limit(m_db, SQLITE_LIMIT_EXPR_DEPTH, MaxExpressionDepth);
        sqlite3_limit(m_db, SQLITE_LIMIT_COMPOUND_SELECT, MaxCompoundSelects);
        sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 0);
        try {
            m_tables.attach(m_db);
        } catch (...) {
            sqlite3_close_v2(m_db);
            throw;
        }
        sqlite3_set_authorizer(m_db, readOnlyAuthorizer, nullptr);
        sqlite3_progress_handler(m_db, StepsPerCheck, countSteps, this);
    }
    ~JetConnection() override { sqlite3_close_v2(m_db); }

    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override;

private:
    [[noreturn]] void refuse(std::string_view command, const std::string& sqlite);
    [[noreturn]] void mismatch(const ProviderColumn& column, std::size_t row) const
    {
        providerError(
            format("Data type mismatch in column '%s' of row %zu.", column.name.c_str(), row + 1), E_PROVIDER_FAIL);
    }
    void store(StoredResult& result, CellRef cell, sqlite3_value* value, const ProviderColumn& column,
        Category category, std::size_t row) const;

    static constexpr int StepsPerCheck = 100000;
    static int countSteps(void* self)
    {
        auto* connection = static_cast<JetConnection*>(self);
        connection->m_steps += StepsPerCheck;
        return connection->m_steps > connection->m_limits.maxSteps ? 1 : 0;
    }

    JetTableSource m_tables;
    std::string m_name;
    JetCommandLimits m_limits;
    uint64_t m_steps = 0; // of the command running
    sqlite3* m_db = nullptr;
};

// The 1-based position in command of a 0-based offset into its SQLite form: the two differ only
// where a TOP became a LIMIT, so the text at the offset is looked for in the command, nearest first.
std::size_t originalPosition(std::string_view command, std::string_view sqlite, std::size_t offset)
{
    if (command == sqlite || offset >= sqlite.size())
        return std::min(offset, command.size()) + 1;
    const std::string_view needle = sqlite.substr(offset, 16);
    std::size_t best = std::string_view::npos;
    for (std::size_t at = command.find(needle); at != std::string_view::npos; at = command.find(needle, at + 1)) {
        const auto distance = [&](std::size_t p) { return p > offset ? p - offset : offset - p; };
        if (best == std::string_view::npos || distance(at) < distance(best))
            best = at;
    }
    return (best == std::string_view::npos ? std::min(offset, command.size()) : best) + 1;
}

void JetConnection::refuse(std::string_view command, const std::string& sqlite)
{
    if (std::exception_ptr failure = m_tables.takeFailure())
        std::rethrow_exception(failure);
    const std::string message = sqlite3_errmsg(m_db);
    const std::string_view noTable = "no such table: ";
    if (message.starts_with(noTable)) {
        std::string table = message.substr(noTable.size());
        if (const std::size_t dot = table.find('.'); dot != std::string::npos && table.starts_with("main."))
            table = table.substr(dot + 1);
        if (std::exception_ptr damaged = m_tables.damagedTable(table))
            std::rethrow_exception(damaged);
        providerError(format("The input table or query '%s' cannot be found.", table.c_str()), DB_E_NOTABLE);
    }
    const int offset = sqlite3_error_offset(m_db);
    if (offset >= 0)
        providerError(format("Invalid command text at position %zu: %s.",
                          originalPosition(command, sqlite, static_cast<std::size_t>(offset)), message.c_str()),
            DB_E_ERRORSINCOMMAND);
    providerError(format("Invalid command text: %s.", message.c_str()), DB_E_ERRORSINCOMMAND);
}

// The value as its column's type holds it. Amounts come back exactly: a real (at most 15 significant
// digits, see MdbVirtualTable_p.h) is rounded to ten-thousandths, a text is read as a decimal, an
// integer counts whole units.
void JetConnection::store(StoredResult& result, CellRef cell, sqlite3_value* value, const ProviderColumn& column,
    Category category, std::size_t row) const
{
    const int storage = sqlite3_value_type(value);
    if (storage == SQLITE_NULL)
        return;
    // A text's bytes as they stand: asking for them as text would have SQLite copy each one that
    // the tables hand over without a terminating zero (most of them) only to add one.
    auto text = [&] {
        const auto* data = storage == SQLITE_TEXT ? static_cast<const char*>(sqlite3_value_blob(value))
                                                  : reinterpret_cast<const char*>(sqlite3_value_text(value));
        return std::string_view(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
    };
    auto blob = [&] {
        const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
        return std::string_view(data ? data : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
    };
    auto number = [&](double& real) {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            real = sqlite3_value_double(value);
        else if (storage != SQLITE_TEXT || !parseWhole(text(), real))
            mismatch(column, row);
    };
    switch (category) {
    case Category::Integer: {
        int64_t integer = 0;
        if (storage == SQLITE_INTEGER) {
            integer = sqlite3_value_int64(value);
        } else if (storage == SQLITE_TEXT && parseWhole(text(), integer)) {
        } else {
            double real = 0;
            number(real);
            if (!(std::fabs(real) < 9.2e18))
                valueOutOfRange(column, row, shortestText(real));
            integer = static_cast<int64_t>(std::nearbyint(real));
        }
        checkIntegerRange(column, row, integer);
        cell.setInteger(integer);
        break;
    }
    case Category::Boolean: {
        double real = 0;
        number(real);
        cell.setInteger(real != 0 ? -1 : 0);
        break;
    }
    case Category::Float: {
        double real = 0;
        number(real);
        cell.setReal(column.type == adSingle ? static_cast<double>(static_cast<float>(real)) : real);
        break;
    }
    case Category::Currency: {
        std::optional<int64_t> amount;
        if (storage == SQLITE_INTEGER) {
            int64_t scaled = 0;
            if (!__builtin_mul_overflow(sqlite3_value_int64(value), int64_t { 10000 }, &scaled))
                amount = scaled;
        } else if (storage == SQLITE_FLOAT) {
            const double real = sqlite3_value_double(value);
            if (std::fabs(real) < 1e11)
                amount = std::llround(real * 10000.0);
            else
                amount = parseCurrencyText(shortestText(real));
        } else if (storage == SQLITE_TEXT) {
            amount = parseCurrencyText(text());
        }
        if (!amount)
            mismatch(column, row);
        cell.setInteger(*amount, ProviderCell::Kind::Currency);
        break;
    }
    case Category::Date: {
        std::optional<double> day;
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            day = sqlite3_value_double(value);
        else if (storage == SQLITE_TEXT)
            day = parseDateText(text());
        if (!day)
            mismatch(column, row);
        cell.setReal(*day, ProviderCell::Kind::Date);
        break;
    }
    case Category::Text:
        result.storeBytes(cell, ProviderCell::Kind::Text, text());
        break;
    case Category::Binary:
        result.storeBytes(cell, ProviderCell::Kind::Bytes, blob());
        break;
    case Category::Untyped:
        if (storage == SQLITE_INTEGER)
            cell.setInteger(sqlite3_value_int64(value));
        else if (storage == SQLITE_FLOAT)
            cell.setReal(sqlite3_value_double(value));
        else if (storage == SQLITE_TEXT)
            result.storeBytes(cell, ProviderCell::Kind::Text, text());
        else
            result.storeBytes(cell, ProviderCell::Kind::Bytes, blob());
        break;
    }
}

std::unique_ptr<ProviderResult> JetConnection::execute(std::string_view commandText)
{
    if (commandText.find_first_not_of(" \t\r\n") == std::string_view::npos)
        providerError("Command text was not set for the command object.", DB_E_ERRORSINCOMMAND);
    std::string sqlite;
    TextFault fault;
    if (!translateJetCommand(commandText, sqlite, fault))
        providerError(
            format("Syntax error in the command text at position %zu: %s.", fault.position, fault.message.c_str()),
            DB_E_ERRORSINCOMMAND);
    if (sqlite.size() > static_cast<std::size_t>(MaxCommandBytes))
        providerError(format("The command text is longer than %d bytes.", MaxCommandBytes), DB_E_ERRORSINCOMMAND);
    m_steps = 0;
    sqlite3_stmt* prepared = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, sqlite.data(), static_cast<int>(sqlite.size()), &prepared, &tail) != SQLITE_OK)
        refuse(commandText, sqlite);
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(prepared);
    if (!prepared)
        providerError("Invalid command text: it holds no statement.", DB_E_ERRORSINCOMMAND);
    if (std::string_view(tail, sqlite.data() + sqlite.size() - tail).find_first_not_of(" \t\r\n;")
        != std::string_view::npos)
        providerError("Characters found after end of SQL statement.", DB_E_ERRORSINCOMMAND);
    if (!sqlite3_stmt_readonly(prepared))
        providerError(format("The database '%s' is opened read-only; the command would change it.", m_name.c_str()),
            E_PROVIDER_FAIL);
    const int width = sqlite3_column_count(prepared);
    if (width == 0)
        return nullptr;

    // A column read straight from a table keeps the provider's description of it; an expression
    // is described by its values once they are read.
    auto result = std::make_unique<StoredResult>();
    std::vector<Category> categories;
    for (int i = 0; i < width; ++i) {
        const char* name = sqlite3_column_name(prepared, i);
        const char* table = sqlite3_column_table_name(prepared, i);
        const char* origin = sqlite3_column_origin_name(prepared, i);
        const ProviderColumn* described = table && origin ? m_tables.column(table, origin) : nullptr;
        ProviderColumn column;
        if (described) {
            column = *described;
        } else {
            column.isAutoIncrement = false;
        }
        column.name = name ? name : "";
        categories.push_back(categoryOf(column.type));
        result->addColumn(std::move(column));
    }
    int rc;
    while ((rc = sqlite3_step(prepared)) == SQLITE_ROW) {
        if (result->rowCount() >= m_limits.maxRows)
            providerError(format("The command's result has more than %zu rows.", m_limits.maxRows), E_PROVIDER_FAIL);
        const std::size_t row = result->appendRow();
        for (int i = 0; i < width; ++i) {
            const auto c = static_cast<std::size_t>(i);
            store(*result, result->at(row, c), sqlite3_column_value(prepared, i), result->columns()[c], categories[c],
                row);
        }
    }
    if (rc != SQLITE_DONE) {
        if (std::exception_ptr failure = m_tables.takeFailure())
            std::rethrow_exception(failure);
        if (rc == SQLITE_INTERRUPT)
            providerError(format("The command takes more than %llu steps of the SQL engine.",
                              static_cast<unsigned long long>(m_limits.maxSteps)),
                E_PROVIDER_FAIL);
        providerError(format("Reading '%s' failed: %s.", m_name.c_str(), sqlite3_errmsg(m_db)), E_PROVIDER_FAIL);
    }
    for (int i = 0; i < width; ++i)
        if (categories[static_cast<std::size_t>(i)] == Category::Untyped)
            describeUntypedColumn(*result, static_cast<std::size_t>(i), shortestText);
    return result;
}

} // namespace

std::unique_ptr<ProviderConnection> openJetDatabaseBytes(
    std::string bytes, const std::string& name, const JetCommandLimits& limits)
{
    return std::make_unique<JetConnection>(std::move(bytes), name, limits);
}

std::unique_ptr<ProviderConnection> openJetDatabase(const std::string& path)
{
    return openJetDatabaseBytes(DatabaseFile(path).readAll(), path);
}

} // namespace vl
