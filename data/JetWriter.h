#pragma once
// A writer of Jet 4 database files: page 0, the system catalog MSysObjects that readers start
// from, one table definition per table, data pages and long-value pages for memos and OLE objects.
// Tables get no indexes and no relationships. The file is written whole; on any failure an
// Exception is raised and nothing is left at the destination.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vl::jet
{

enum class FieldType {
    Boolean,
    Byte,
    Integer,
    LongInteger,
    Currency,
    Single,
    Double,
    DateTime,
    Binary,
    Text,
    OleObject,
    Memo,
    ReplicationId,
    Numeric
};

struct ColumnDefinition {
    std::string name;
    FieldType type = FieldType::Text;
    int size = 255; // characters of Text, bytes of Binary; ignored otherwise
    bool autoIncrement = false; // LongInteger only: numbered by the engine
    int precision = 18; // Numeric only
    int scale = 0; // Numeric only
};

struct Value {
    enum class Kind : uint8_t { Null, Integer, Real, Currency, Date, Text, Bytes };
    Kind kind = Kind::Null;
    int64_t integer = 0; // Integer; Currency and Numeric count ten-thousandths
    double real = 0; // Real; Date is the day number (days since 30 December 1899)
    std::string bytes; // Text (UTF-8) or Bytes; a replication id as 16 bytes or "{...}" text

    static Value null() { return {}; }
    static Value ofInteger(int64_t v) { return { Kind::Integer, v, 0, {} }; }
    static Value ofReal(double v) { return { Kind::Real, 0, v, {} }; }
    static Value ofCurrency(int64_t tenThousandths) { return { Kind::Currency, tenThousandths, 0, {} }; }
    static Value ofDate(double day) { return { Kind::Date, 0, day, {} }; }
    static Value ofText(std::string utf8) { return { Kind::Text, 0, 0, std::move(utf8) }; }
    static Value ofBytes(std::string data) { return { Kind::Bytes, 0, 0, std::move(data) }; }
};

struct TableDefinition {
    std::string name;
    std::vector<ColumnDefinition> columns;
    std::vector<std::vector<Value>> rows; // one value per column
};

// The bytes of a Jet 4 file holding the tables; createdDayNumber dates the catalog's rows. Raises Exception naming the
// table, column and row of a value that does not fit its column, or a table the format cannot hold.
std::string buildDatabase(const std::vector<TableDefinition>& tables, double createdDayNumber = 0);

// Writes buildDatabase's bytes to path through a temporary file renamed into place.
void writeDatabaseFile(
    const std::string& path, const std::vector<TableDefinition>& tables, double createdDayNumber = 0);

} // namespace vl::jet
