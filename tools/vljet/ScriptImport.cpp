#include "ScriptImport.h"

#include "Exceptions.h"
#include "Provider.h"
#include "Text.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

namespace vl
{
namespace
{

struct ScratchFile {
    std::string path;
    ~ScratchFile()
    {
        std::error_code error;
        std::filesystem::remove(path, error);
    }
};

// The ADO types whose Jet column needs nothing beyond its type.
constexpr std::pair<int, jet::FieldType> PlainColumnTypes[] = {
    {adSmallInt, jet::FieldType::Integer},
    {adUnsignedTinyInt, jet::FieldType::Byte},
    {adBoolean, jet::FieldType::Boolean},
    {adCurrency, jet::FieldType::Currency},
    {adSingle, jet::FieldType::Single},
    {adDouble, jet::FieldType::Double},
    {adDate, jet::FieldType::DateTime},
    {adGUID, jet::FieldType::ReplicationId},
    {adLongVarWChar, jet::FieldType::Memo},
    {adLongVarBinary, jet::FieldType::OleObject},
};

jet::ColumnDefinition columnOf(const std::string& table, const ProviderColumn& column)
{
    using F = jet::FieldType;
    jet::ColumnDefinition def;
    def.name = column.name;
    for (const auto& [adoType, jetType] : PlainColumnTypes) {
        if (column.type == adoType) {
            def.type = jetType;
            return def;
        }
    }
    switch (column.type) {
    case adInteger:
        def.type = F::LongInteger;
        def.autoIncrement = column.isAutoIncrement.value_or(false);
        break;
    case adNumeric:
        def.type = F::Numeric;
        def.precision = column.precision;
        def.scale = column.scale;
        break;
    case adVarWChar:
    case adWChar:
        def.type = F::Text;
        def.size = column.definedSize;
        break;
    case adBinary:
    case adVarBinary:
        def.type = F::Binary;
        def.size = column.definedSize;
        break;
    default:
        throw Exception(format("Table '%s', column '%s': a Jet 4 database has no column of ADO type %d.", table.c_str(),
            column.name.c_str(), column.type));
    }
    return def;
}

jet::Value valueOf(const ProviderCell& cell)
{
    using V = jet::Value;
    switch (cell.kind) {
    case ProviderCell::Kind::Null:
        return V::null();
    case ProviderCell::Kind::Integer:
        return V::ofInteger(cell.integer);
    case ProviderCell::Kind::Float:
        return V::ofReal(cell.real);
    case ProviderCell::Kind::Currency:
        return V::ofCurrency(cell.integer);
    case ProviderCell::Kind::Date:
        return V::ofDate(cell.real);
    case ProviderCell::Kind::Text:
        return V::ofText(std::string(cell.bytes));
    case ProviderCell::Kind::Bytes:
        return V::ofBytes(std::string(cell.bytes));
    }
    return V::null();
}

std::string quoted(const std::string& name)
{
    std::string out = "\"";
    for (char c : name)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::vector<jet::TableDefinition> importSqlScript(const std::string& scriptPath, const std::string& scratchPath)
{
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in)
        throw Exception(format("Cannot read the script '%s'.", scriptPath.c_str()));
    std::stringstream script;
    script << in.rdbuf();

    ScratchFile scratch { scratchPath };
    std::error_code error;
    std::filesystem::remove(scratchPath, error);
    std::vector<std::string> tableNames;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(scratchPath.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close_v2);
        if (rc != SQLITE_OK)
            throw Exception(format("Cannot create the scratch database '%s'.", scratchPath.c_str()));
        char* message = nullptr;
        if (sqlite3_exec(db.get(), script.str().c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            std::string text = message ? message : "unknown error";
            sqlite3_free(message);
            throw Exception(format("The script '%s' failed: %s.", scriptPath.c_str(), text.c_str()));
        }
        sqlite3_stmt* raw_stmt = nullptr;
        sqlite3_prepare_v2(db.get(),
            "select name from sqlite_master where type = 'table' and name not like 'sqlite\\_%' escape '\\' order by "
            "rowid",
            -1, &raw_stmt, nullptr);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw_stmt, sqlite3_finalize);
        while (stmt && sqlite3_step(stmt.get()) == SQLITE_ROW)
            tableNames.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)));
    }

    auto connection = openProviderConnection("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + scratchPath + "\"");
    std::vector<jet::TableDefinition> tables;
    for (const std::string& name : tableNames) {
        jet::TableDefinition table;
        table.name = name;
        auto result = connection->execute("select * from " + quoted(name) + " order by rowid");
        for (const auto& column : result->columns())
            table.columns.push_back(columnOf(name, column));
        for (std::size_t r = 0; r < result->rowCount(); ++r) {
            std::vector<jet::Value> row;
            for (std::size_t c = 0; c < result->columns().size(); ++c)
                row.push_back(valueOf(result->cell(r, c)));
            table.rows.push_back(std::move(row));
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

} // namespace vl
