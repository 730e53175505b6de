#pragma once
// How a folder of delimited text files is described: the Extended Properties of the connection,
// the sections of the folder's schema.ini, the column types guessed from the first records, and
// each field's conversion to the value SQLite is given. Private to the data layer (and its tests).

#include "CsvReader_p.h"
#include "TextFault.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl
{

// The column types of schema.ini; Integer and Long are both 32 bits, as Jet SQL's INTEGER.
enum class TextType { Text, Memo, Integer, Short, Byte, Single, Double, Currency, Date, Bit };
enum class CharacterSet { Ansi, Utf8 };

struct TextColumn {
    std::string name;
    TextType type = TextType::Text;
    int width = 0; // Text only; 0 for 255
};

// How one file is read.
struct TextFileOptions {
    bool header = true;
    char delimiter = ',';
    CharacterSet characterSet = CharacterSet::Ansi; // a byte-order mark makes it UTF-8
    std::size_t scanRows = 25; // records whose values decide the guessed types; 0: all
    std::vector<TextColumn> columns; // declared in schema.ini; empty: from the file
};

// Extended Properties "text;HDR=Yes;FMT=Delimited(;)": isText when an item is the word "text".
// Keys compare without regard to case; unknown keys are ignored, a bad value is a fault.
struct TextProperties : TextFault {
    bool isText = false;
    TextFileOptions options;
};
TextProperties parseExtendedProperties(std::string_view text);

// One [file] section of schema.ini; what it does not say, the connection decides.
struct SchemaSection {
    std::string fileName;
    std::optional<bool> header;
    std::optional<char> delimiter;
    std::optional<CharacterSet> characterSet;
    std::optional<std::size_t> scanRows;
    std::vector<TextColumn> columns;
};
struct SchemaIni {
    CsvFault fault; // empty message when read
    std::vector<SchemaSection> sections;
};
// At most maxColumns ColN keys per section; a key outside a section, a bad value or a gap in
// the ColN numbers is a fault with its line and column.
SchemaIni parseSchemaIni(std::string_view text, std::size_t maxColumns);
// The section of fileName (without regard to ASCII case), or null.
const SchemaSection* findSection(const SchemaIni& schema, std::string_view fileName);
TextFileOptions withSection(TextFileOptions options, const SchemaSection& section);

// The column type that values read so far suggest: integers, reals, amounts with a currency sign,
// dates, else text (memo beyond 255 characters). Empty values say nothing.
class TypeGuess
{
public:
    void add(std::string_view value);
    TextType type() const;

private:
    bool m_integer = false, m_wideInteger = false, m_real = false, m_currency = false, m_date = false, m_text = false;
    std::size_t m_longest = 0;
};

// The SQL type the column is declared with, for the provider's column description.
std::string declaredType(const TextColumn& column);

// A field as SQLite is given it: null when empty or when it cannot be read as the column's type.
struct TextValue {
    enum class Kind { Null, Integer, Real, Text };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text; // dates as 'YYYY-MM-DD[ HH:MM:SS[.fff]]'
};
void convertField(std::string_view field, TextType type, TextValue& value);

// A date in one of the forms the text files hold, written as SQLite's date text: 'YYYY-MM-DD' or
// 'YYYY/MM/DD', 'M/D/YYYY', each with an optional time 'H:MM[:SS[.fff]]' (an AM/PM after
// the US form); nullopt for anything else or an impossible date.
std::optional<std::string> isoDateText(std::string_view text);

} // namespace vl
