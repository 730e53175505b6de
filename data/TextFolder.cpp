#include "TextFolder.h"
#include "TextFolder_p.h"

#include "AsciiText_p.h"
#include "CsvReader_p.h"
#include "EqualityLookup_p.h"
#include "JetDialect.h"
#include "SqliteProvider_p.h"
#include "TextSchema_p.h"

#include "Exceptions.h"
#include "Text.h"

#include <sqlite3.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>

namespace vl
{
namespace
{

constexpr const char* moduleName = "vl_textfile";
constexpr std::size_t maxSchemaIniBytes = 1 << 20;

// One file as a table: where it is, how it is read and its columns.
struct TableShape {
    std::string path;
    TextFileOptions options; // options.columns always filled
    TextLimits limits;
    sqlite3_int64 estimatedRows = 1;
};

// The module's state, owned by the SQLite connection (freed with it).
struct FolderState {
    std::string folder;
    TextFileOptions options;
    TextLimits limits;
    // Shapes by the key of the virtual table's argument, read before the table is created.
    std::map<std::string, std::shared_ptr<const TableShape>> shapes;
};

struct TextTable {
    sqlite3_vtab base {};
    std::shared_ptr<const TableShape> shape;
};

// A record kept by an equality look-up, with its number in the file.
struct KeptRecord {
    std::vector<std::string> fields;
    sqlite3_int64 row = 0;
};

struct TextCursor {
    sqlite3_vtab_cursor base {};
    std::unique_ptr<CsvReader> reader;
    std::vector<std::string> fields;
    const std::vector<std::string>* current = &fields; // the record the columns read
    TextValue value;
    sqlite3_int64 row = 0;
    bool atEnd = true;
    bool decodeNarrow = false;

    // Equality look-ups: the records of each key of one column, kept by the first equality's one
    // reading of the file and answered from memory for the rest of the statement.
    int lookupColumn = -1; // the column the map holds; -1: none
    std::vector<bool> lookupTooLarge; // columns whose records outgrew maxLookupBytes
    std::vector<KeptRecord> kept;
    std::unordered_map<std::string, std::vector<std::size_t>> lookup;
    const std::vector<std::size_t>* matches = nullptr; // null: reading the file
    std::size_t matchAt = 0;
    std::vector<std::size_t> overflowMatches; // kept records to return before the rest of the file
    bool readAfterMatches = false;
};

std::string faultText(const std::string& path, const CsvFault& fault)
{
    if (fault.line == 0)
        return format("'%s': %s", path.c_str(), fault.message.c_str());
    return format("'%s' line %zu, column %zu: %s", path.c_str(), fault.line, fault.column, fault.message.c_str());
}

// Fields as UTF-8: narrow text through the locale's code page, invalid UTF-8 with U+FFFD.
void decodeFields(std::vector<std::string>& fields, bool narrow)
{
    for (std::string& field : fields) {
        if (std::none_of(field.begin(), field.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            continue;
        field = narrow ? utf16ToUtf8(toWide(field)) : utf16ToUtf8(utf8ToUtf16(field));
    }
}

bool decodesNarrow(const TextFileOptions& options, const CsvReader& reader)
{
    return options.characterSet == CharacterSet::Ansi && !reader.startedWithByteOrderMark() && !narrowCodePageIsUtf8();
}

// A word that SQLite passes on as the module's argument, whatever the table name holds.
std::string hexKey(std::string_view text)
{
    std::string key = "x";
    for (const unsigned char c : text)
        key += format("%02x", c);
    return key;
}

std::string quotedIdentifier(std::string_view name)
{
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Header names as column names: control characters dropped, an empty name F<n> (its position),
// a name that an earlier column already has (without regard to ASCII case) given _2, _3, ...
std::vector<std::string> columnNames(const std::vector<std::string>& header, std::size_t count)
{
    std::vector<std::string> names;
    auto taken = [&](const std::string& name) {
        return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return sameAscii(n, name); });
    };
    for (std::size_t i = 0; i < count; ++i) {
        std::string name;
        if (i < header.size())
            for (const char c : trimControlsAndSpaces(header[i]))
                if (static_cast<unsigned char>(c) >= ' ')
                    name += c;
        if (name.empty())
            name = format("F%zu", i + 1);
        if (taken(name)) {
            std::size_t suffix = 2;
            while (taken(format("%s_%zu", name.c_str(), suffix)))
                ++suffix;
            name = format("%s_%zu", name.c_str(), suffix);
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::string readSchemaIni(const std::string& path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0)
        return {};
    if (!S_ISREG(info.st_mode))
        providerError(format("Cannot read '%s': it is not a regular file.", path.c_str()), E_PROVIDER_FAIL);
    if (static_cast<std::size_t>(info.st_size) > maxSchemaIniBytes)
        providerError(
            format("Cannot read '%s': it is larger than %zu bytes.", path.c_str(), maxSchemaIniBytes), E_PROVIDER_FAIL);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof())
        providerError(format("Cannot read '%s'.", path.c_str()), E_PROVIDER_FAIL);
    return std::move(text).str();
}

// Reads the header and the first records of the file: its column names and types.
std::shared_ptr<const TableShape> readShape(const FolderState& state, const std::string& fileName)
{
    auto shape = std::make_shared<TableShape>();
    shape->path = (std::filesystem::path(state.folder) / fileName).string();
    shape->options = state.options;
    shape->limits = state.limits;
    // Written Schema.ini as often as schema.ini: any case will do, the exact one first.
    std::string schemaName = "schema.ini";
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::path(state.folder) / schemaName, error))
        for (const auto& entry : std::filesystem::directory_iterator(state.folder, error))
            if (sameAscii(entry.path().filename().string(), schemaName)) {
                schemaName = entry.path().filename().string();
                break;
            }
    const std::string schemaPath = (std::filesystem::path(state.folder) / schemaName).string();
    const std::string schemaText = readSchemaIni(schemaPath);
    if (!schemaText.empty()) {
        const SchemaIni schema = parseSchemaIni(schemaText, state.limits.maxFields);
        if (!schema.fault.message.empty())
            providerError(format("The file %s.", faultText(schemaPath, schema.fault).c_str()), E_PROVIDER_FAIL);
        if (const SchemaSection* section = findSection(schema, fileName))
            shape->options = withSection(shape->options, *section);
    }
    TextFileOptions& options = shape->options;
    CsvReader reader(options.delimiter, state.limits);
    if (!reader.open(shape->path))
        providerError(
            format("Cannot open file '%s': %s.", shape->path.c_str(), reader.fault().message.c_str()), E_PROVIDER_FAIL);
    const bool narrow = decodesNarrow(options, reader);
    auto refused = [&] {
        providerError(format("The file %s.", faultText(shape->path, reader.fault()).c_str()), E_PROVIDER_FAIL);
    };
    std::vector<std::string> header;
    if (options.header) {
        const CsvReader::Status status = reader.next(header);
        if (status == CsvReader::Status::Fault)
            refused();
        if (status == CsvReader::Status::End && options.columns.empty())
            providerError(
                format("The file '%s' is empty: it has no header line to name its columns.", shape->path.c_str()),
                E_PROVIDER_FAIL);
        decodeFields(header, narrow);
    }
    struct stat info {
    };
    if (::stat(shape->path.c_str(), &info) == 0)
        shape->estimatedRows = std::max<sqlite3_int64>(1, info.st_size / 64);
    if (!options.columns.empty())
        return shape;

    std::vector<TypeGuess> guesses(header.size());
    std::vector<std::string> fields;
    std::size_t scanned = 0, width = header.size();
    while (options.scanRows == 0 || scanned < options.scanRows) {
        const CsvReader::Status status = reader.next(fields);
        if (status == CsvReader::Status::Fault)
            refused();
        if (status == CsvReader::Status::End)
            break;
        decodeFields(fields, narrow);
        // Without a header line the widest record decides how many columns there are.
        if (!options.header && fields.size() > width) {
            width = fields.size();
            guesses.resize(width);
        }
        for (std::size_t i = 0; i < std::min(fields.size(), guesses.size()); ++i)
            guesses[i].add(fields[i]);
        ++scanned;
    }
    if (width == 0)
        providerError(format("The file '%s' is empty: it has no record to tell its columns.", shape->path.c_str()),
            E_PROVIDER_FAIL);
    const std::vector<std::string> names = columnNames(header, width);
    for (std::size_t i = 0; i < width; ++i)
        options.columns.push_back({ names[i], guesses[i].type(), 0 });
    return shape;
}

// The file of the folder that a table name stands for: the name itself, or "name#csv" for
// "name.csv" as Jet writes it, without regard to ASCII case (an exact match first); only
// *.csv and *.txt files. Empty when there is none.
std::string findFile(const std::string& folder, std::string_view tableName)
{
    std::string wanted(tableName);
    if (wanted.find('.') == std::string::npos)
        if (const std::size_t hash = wanted.rfind('#'); hash != std::string::npos)
            wanted[hash] = '.';
    if (wanted.find('/') != std::string::npos || wanted.size() < 5)
        return {};
    const std::string extension = upperAscii(std::string_view(wanted).substr(wanted.size() - 4));
    if (extension != ".CSV" && extension != ".TXT")
        return {};
    std::error_code error;
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!sameAscii(name, wanted) || !entry.is_regular_file(error))
            continue;
        if (name == wanted)
            return name;
        if (found.empty())
            found = name;
    }
    return found;
}

// Columns whose values are texts (dates as ISO texts); the others hold numbers.
bool holdsText(TextType type)
{
    return type == TextType::Text || type == TextType::Memo || type == TextType::Date;
}

// The look-up key of a field as the column gives it to SQLite; nullopt for a null, which equals nothing.
std::optional<std::string> fieldKey(std::string_view field, TextType type, TextValue& value)
{
    convertField(field, type, value);
    switch (value.kind) {
    case TextValue::Kind::Null:
        return std::nullopt;
    case TextValue::Kind::Integer:
        return numberLookupKey(static_cast<double>(value.integer));
    case TextValue::Kind::Real:
        return numberLookupKey(value.real);
    case TextValue::Kind::Text:
        return textLookupKey(value.text);
    }
    return std::nullopt;
}

// What the other side of an equality finds: the rows of a key, no row, or (when SQLite's conversions
// leave any doubt, as a number against a text column) every row, for SQLite to check.
struct Probe {
    enum class Kind { Key, Nothing, Scan } kind = Kind::Scan;
    std::string key;
};

Probe probeFor(TextType type, sqlite3_value* value)
{
    const int storage = sqlite3_value_type(value);
    if (storage == SQLITE_NULL)
        return { Probe::Kind::Nothing, {} };
    if (storage == SQLITE_TEXT) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const std::string_view bytes(text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(value)));
        if (holdsText(type))
            return { Probe::Kind::Key, textLookupKey(bytes) };
        // A number column compares a text as a number when SQLite's numeric affinity makes it one, and
        // never equals a text that stays one. The copy keeps the statement's own value as it is.
        sqlite3_value* copy = sqlite3_value_dup(value);
        if (!copy)
            throw std::bad_alloc();
        const int converted = sqlite3_value_numeric_type(copy);
        const double number = sqlite3_value_double(copy);
        sqlite3_value_free(copy);
        if (converted == SQLITE_INTEGER || converted == SQLITE_FLOAT)
            return { Probe::Kind::Key, numberLookupKey(number) };
        return { Probe::Kind::Nothing, {} };
    }
    if ((storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) && !holdsText(type))
        return { Probe::Kind::Key, numberLookupKey(sqlite3_value_double(value)) };
    return {};
}

int connectTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** table, char** error)
{
    auto* state = static_cast<FolderState*>(aux);
    const auto shape = argc > 3 ? state->shapes.find(argv[3]) : state->shapes.end();
    if (shape == state->shapes.end()) {
        *error = sqlite3_mprintf("%s tables are made by the provider only", moduleName);
        return SQLITE_ERROR;
    }
    std::string schema = "CREATE TABLE x(";
    const std::vector<TextColumn>& columns = shape->second->options.columns;
    for (std::size_t i = 0; i < columns.size(); ++i)
        schema += (i ? ", " : "") + quotedIdentifier(columns[i].name) + " " + declaredType(columns[i]);
    schema += ")";
    const int rc = sqlite3_declare_vtab(db, schema.c_str());
    if (rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
        return rc;
    }
    sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
    auto* created = new TextTable;
    created->shape = shape->second;
    *table = &created->base;
    return SQLITE_OK;
}

int disconnectTable(sqlite3_vtab* table)
{
    delete reinterpret_cast<TextTable*>(table);
    return SQLITE_OK;
}

// A plain scan reads the whole file, its cost growing with the file; an equality on a column is
// served by a look-up (SQLite checks it again on each row returned).
int bestIndex(sqlite3_vtab* table, sqlite3_index_info* info)
{
    const TableShape& shape = *reinterpret_cast<TextTable*>(table)->shape;
    const sqlite3_int64 rows = shape.estimatedRows;
    info->estimatedRows = rows;
    info->estimatedCost = static_cast<double>(rows) * 10 + 100; // opening the file costs too
    offerEqualityLookup(info, shape.options.columns.size(), [](std::size_t) { return true; });
    return SQLITE_OK;
}

int openCursor(sqlite3_vtab*, sqlite3_vtab_cursor** cursor)
{
    auto* opened = new (std::nothrow) TextCursor;
    if (!opened)
        return SQLITE_NOMEM;
    *cursor = &opened->base;
    return SQLITE_OK;
}

int closeCursor(sqlite3_vtab_cursor* cursor)
{
    delete reinterpret_cast<TextCursor*>(cursor);
    return SQLITE_OK;
}

int failScan(TextCursor& cursor, const std::string& text)
{
    sqlite3_vtab* table = cursor.base.pVtab;
    sqlite3_free(table->zErrMsg);
    table->zErrMsg = sqlite3_mprintf("%s", text.c_str());
    cursor.atEnd = true;
    return SQLITE_ERROR;
}

int nextRecord(sqlite3_vtab_cursor* base)
{
    auto& cursor = *reinterpret_cast<TextCursor*>(base);
    const TableShape& shape = *reinterpret_cast<TextTable*>(base->pVtab)->shape;
    try {
        switch (cursor.reader->next(cursor.fields)) {
        case CsvReader::Status::Record:
            decodeFields(cursor.fields, cursor.decodeNarrow);
            cursor.current = &cursor.fields;
            ++cursor.row;
            return SQLITE_OK;
        case CsvReader::Status::End:
            cursor.atEnd = true;
            return SQLITE_OK;
        case CsvReader::Status::Fault:
            break;
        }
        return failScan(cursor, faultText(shape.path, cursor.reader->fault()));
    } catch (const std::bad_alloc&) {
        cursor.atEnd = true;
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        return failScan(cursor, format("'%s': %s", shape.path.c_str(), e.what()));
    }
}

// Opens the file and passes its header: the next record read is the first of the file.
int startReading(TextCursor& cursor, const TableShape& shape)
{
    cursor.reader = std::make_unique<CsvReader>(shape.options.delimiter, shape.limits);
    cursor.current = &cursor.fields;
    cursor.matches = nullptr;
    cursor.row = 0;
    cursor.atEnd = false;
    if (!cursor.reader->open(shape.path))
        return failScan(
            cursor, format("Cannot open file '%s': %s", shape.path.c_str(), cursor.reader->fault().message.c_str()));
    cursor.decodeNarrow = decodesNarrow(shape.options, *cursor.reader);
    if (shape.options.header) {
        const CsvReader::Status status = cursor.reader->next(cursor.fields);
        if (status == CsvReader::Status::Fault)
            return failScan(cursor, faultText(shape.path, cursor.reader->fault()));
        if (status == CsvReader::Status::End)
            cursor.atEnd = true;
    }
    return SQLITE_OK;
}

void nextMatch(TextCursor& cursor)
{
    if (cursor.matchAt < cursor.matches->size()) {
        const KeptRecord& record = cursor.kept[(*cursor.matches)[cursor.matchAt++]];
        cursor.current = &record.fields;
        cursor.row = record.row;
        cursor.atEnd = false;
        return;
    }
    cursor.atEnd = true;
}

int advance(sqlite3_vtab_cursor* base)
{
    auto& cursor = *reinterpret_cast<TextCursor*>(base);
    if (!cursor.matches)
        return nextRecord(base);
    nextMatch(cursor);
    if (cursor.atEnd && cursor.readAfterMatches) {
        // The kept records of a look-up that outgrew its limit are passed: the file goes on from
        // where the look-up stopped reading it.
        cursor.matches = nullptr;
        cursor.readAfterMatches = false;
        cursor.atEnd = false;
        return nextRecord(base);
    }
    return SQLITE_OK;
}

// Reads the whole file once, keeping the records of each key of column; when they outgrow the limit,
// keeps only those of wanted and leaves the rest of the file to be read as a plain scan.
int buildLookup(TextCursor& cursor, const TableShape& shape, std::size_t column, const std::string& wanted)
{
    cursor.lookupColumn = -1;
    cursor.kept.clear();
    cursor.lookup.clear();
    if (const int rc = startReading(cursor, shape); rc != SQLITE_OK || cursor.atEnd)
        return rc;
    const TextType type = shape.options.columns[column].type;
    const std::size_t limit = shape.limits.maxLookupBytes;
    std::size_t bytes = 0;
    while (true) {
        switch (cursor.reader->next(cursor.fields)) {
        case CsvReader::Status::Record:
            break;
        case CsvReader::Status::End:
            cursor.lookupColumn = static_cast<int>(column);
            return SQLITE_OK;
        case CsvReader::Status::Fault:
            cursor.kept.clear();
            cursor.lookup.clear();
            return failScan(cursor, faultText(shape.path, cursor.reader->fault()));
        }
        decodeFields(cursor.fields, cursor.decodeNarrow);
        ++cursor.row;
        if (column >= cursor.fields.size())
            continue;
        std::optional<std::string> key = fieldKey(cursor.fields[column], type, cursor.value);
        if (!key)
            continue;
        // What the record costs in memory, near enough: its strings, the key and the map's node.
        bytes += sizeof(KeptRecord) + 2 * key->size() + 96;
        for (const std::string& field : cursor.fields)
            bytes += sizeof(std::string) + field.size();
        if (bytes > limit) {
            std::vector<KeptRecord> matching;
            if (auto found = cursor.lookup.find(wanted); found != cursor.lookup.end())
                for (const std::size_t at : found->second)
                    matching.push_back(std::move(cursor.kept[at]));
            cursor.lookup.clear();
            cursor.kept = std::move(matching);
            // This record, whatever its key, is the first of the rest: SQLite checks the equality.
            cursor.kept.push_back({ cursor.fields, cursor.row });
            cursor.overflowMatches.resize(cursor.kept.size());
            for (std::size_t i = 0; i < cursor.kept.size(); ++i)
                cursor.overflowMatches[i] = i;
            cursor.lookupTooLarge[column] = true;
            cursor.matches = &cursor.overflowMatches;
            cursor.matchAt = 0;
            cursor.readAfterMatches = true;
            return SQLITE_OK;
        }
        cursor.lookup[*key].push_back(cursor.kept.size());
        cursor.kept.push_back({ cursor.fields, cursor.row });
    }
}

int filter(sqlite3_vtab_cursor* base, int plan, const char*, int argc, sqlite3_value** argv)
{
    auto& cursor = *reinterpret_cast<TextCursor*>(base);
    const TableShape& shape = *reinterpret_cast<TextTable*>(base->pVtab)->shape;
    try {
        cursor.matches = nullptr;
        cursor.readAfterMatches = false;
        cursor.lookupTooLarge.resize(shape.options.columns.size());
        const auto column = static_cast<std::size_t>(plan - 1);
        if (plan > 0 && argc == 1 && column < shape.options.columns.size() && !cursor.lookupTooLarge[column]) {
            const Probe probe = probeFor(shape.options.columns[column].type, argv[0]);
            static const std::vector<std::size_t> none;
            if (probe.kind == Probe::Kind::Nothing) {
                cursor.matches = &none;
                cursor.matchAt = 0;
                nextMatch(cursor);
                return SQLITE_OK;
            }
            if (probe.kind == Probe::Kind::Key) {
                if (cursor.lookupColumn != plan - 1) {
                    if (const int rc = buildLookup(cursor, shape, column, probe.key); rc != SQLITE_OK)
                        return rc;
                    if (cursor.readAfterMatches)
                        return advance(base);
                    if (cursor.lookupColumn != plan - 1) { // a file of no records
                        cursor.atEnd = true;
                        return SQLITE_OK;
                    }
                }
                const auto found = cursor.lookup.find(probe.key);
                cursor.matches = found == cursor.lookup.end() ? &none : &found->second;
                cursor.matchAt = 0;
                nextMatch(cursor);
                return SQLITE_OK;
            }
        }
        // Each plain scan reads the file from its start, one record at a time.
        if (const int rc = startReading(cursor, shape); rc != SQLITE_OK || cursor.atEnd)
            return rc;
    } catch (const std::bad_alloc&) {
        cursor.kept.clear();
        cursor.lookup.clear();
        cursor.lookupColumn = -1;
        cursor.matches = nullptr;
        cursor.atEnd = true;
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        return failScan(cursor, format("'%s': %s", shape.path.c_str(), e.what()));
    }
    return nextRecord(base);
}

int atEnd(sqlite3_vtab_cursor* base)
{
    return reinterpret_cast<TextCursor*>(base)->atEnd ? 1 : 0;
}

int column(sqlite3_vtab_cursor* base, sqlite3_context* context, int index)
{
    auto& cursor = *reinterpret_cast<TextCursor*>(base);
    const TableShape& shape = *reinterpret_cast<TextTable*>(base->pVtab)->shape;
    const auto at = static_cast<std::size_t>(index);
    const std::vector<std::string>& fields = *cursor.current;
    // A record shorter than the header leaves its last columns null; fields beyond it are ignored.
    if (at >= fields.size() || at >= shape.options.columns.size()) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    try {
        convertField(fields[at], shape.options.columns[at].type, cursor.value);
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
        return SQLITE_NOMEM;
    }
    const TextValue& value = cursor.value;
    switch (value.kind) {
    case TextValue::Kind::Null:
        sqlite3_result_null(context);
        break;
    case TextValue::Kind::Integer:
        sqlite3_result_int64(context, value.integer);
        break;
    case TextValue::Kind::Real:
        sqlite3_result_double(context, value.real);
        break;
    case TextValue::Kind::Text:
        sqlite3_result_text64(context, value.text.data(), value.text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    }
    return SQLITE_OK;
}

int rowId(sqlite3_vtab_cursor* base, sqlite3_int64* row)
{
    *row = reinterpret_cast<TextCursor*>(base)->row;
    return SQLITE_OK;
}

// Read-only: no xUpdate, so SQLite refuses every write to these tables.
sqlite3_module textFileModule()
{
    sqlite3_module module {};
    module.xCreate = connectTable;
    module.xConnect = connectTable;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnectTable;
    module.xDestroy = disconnectTable;
    module.xOpen = openCursor;
    module.xClose = closeCursor;
    module.xFilter = filter;
    module.xNext = advance;
    module.xEof = atEnd;
    module.xColumn = column;
    module.xRowid = rowId;
    return module;
}

class TextFolderConnection final : public ProviderConnection
{
public:
    TextFolderConnection(sqlite3* db, FolderState* state)
        : m_db(db)
        , m_state(state)
        , m_sqlite(sqliteConnection(db, state->folder, true))
    {
    }

    std::unique_ptr<ProviderResult> execute(std::string_view commandText) override
    {
        std::string sql;
        TextFault fault;
        if (!translateJetCommand(commandText, sql, fault))
            providerError(
                format("Syntax error in the command text at position %zu: %s.", fault.position, fault.message.c_str()),
                DB_E_ERRORSINCOMMAND);
        createNamedTables(sql);
        return m_sqlite->execute(sql);
    }

private:
    // The tables of the files that the command names, made when it first names them: SQLite
    // reports each missing one in turn.
    void createNamedTables(const std::string& sql)
    {
        const std::string_view noTable = "no such table: ";
        for (int attempt = 0; attempt < 64; ++attempt) {
            sqlite3_stmt* stmt = nullptr;
            const int rc = sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
            sqlite3_finalize(stmt);
            if (rc == SQLITE_OK)
                return;
            const std::string message = sqlite3_errmsg(m_db);
            if (!message.starts_with(noTable))
                return;
            const std::string tableName = message.substr(noTable.size());
            const std::string fileName = findFile(m_state->folder, tableName);
            if (fileName.empty())
                return;
            const std::string key = hexKey(tableName);
            if (m_state->shapes.count(key))
                return;
            m_state->shapes[key] = readShape(*m_state, fileName);
            const std::string create
                = "CREATE VIRTUAL TABLE main." + quotedIdentifier(tableName) + " USING " + moduleName + "(" + key + ")";
            char* error = nullptr;
            if (sqlite3_exec(m_db, create.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
                const std::string text = error ? error : sqlite3_errmsg(m_db);
                sqlite3_free(error);
                m_state->shapes.erase(key);
                providerError(
                    format("Cannot open the text file '%s': %s.", fileName.c_str(), text.c_str()), E_PROVIDER_FAIL);
            }
        }
    }

    sqlite3* m_db; // closed by m_sqlite
    FolderState* m_state; // freed by the database with its module
    std::unique_ptr<ProviderConnection> m_sqlite;
};

} // namespace

bool namesTextFiles(std::string_view extendedProperties)
{
    return parseExtendedProperties(extendedProperties).isText;
}

std::unique_ptr<ProviderConnection> openTextFolder(const std::string& folder, std::string_view extendedProperties)
{
    return openTextFolder(folder, extendedProperties, TextLimits {});
}

std::unique_ptr<ProviderConnection> openTextFolder(
    const std::string& folder, std::string_view extendedProperties, const TextLimits& limits)
{
    const TextProperties properties = parseExtendedProperties(extendedProperties);
    if (!properties)
        providerError(
            format("Extended Properties: %s at position %zu.", properties.message.c_str(), properties.position),
            E_PROVIDER_FAIL);
    std::error_code error;
    std::string path = std::filesystem::absolute(folder, error).lexically_normal().string();
    if (error)
        path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            providerError(
                format("'%s' is not a valid path: the folder of the text files does not exist.", path.c_str()),
                E_PROVIDER_FAIL);
        providerError(format("Cannot open the folder '%s': %s.", path.c_str(), std::strerror(errno)), E_PROVIDER_FAIL);
    }
    if (!S_ISDIR(info.st_mode))
        providerError(
            format("'%s' is a file, not a folder: a text source names the folder that holds the files.", path.c_str()),
            E_PROVIDER_FAIL);

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        providerError("Cannot open an in-memory database for the text files.", E_PROVIDER_FAIL);
    }
    auto* state = new FolderState { path, properties.options, limits, {} };
    // The module frees the state when the database closes, also when registering fails.
    static const sqlite3_module module = textFileModule();
    const int rc = sqlite3_create_module_v2(
        db, moduleName, &module, state, [](void* aux) { delete static_cast<FolderState*>(aux); });
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        providerError("Cannot register the text file tables.", E_PROVIDER_FAIL);
    }
    return std::make_unique<TextFolderConnection>(db, state);
}

} // namespace vl
