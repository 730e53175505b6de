#include "TextSchema_p.h"

#include "AsciiText_p.h"
#include "SqliteProvider_p.h"

#include "Text.h"

#include <charconv>
#include <limits>
#include <map>

namespace vl
{
namespace
{

std::optional<bool> yesNo(std::string_view value)
{
    const std::string upper = upperAscii(trimControlsAndSpaces(value));
    if (upper == "YES" || upper == "TRUE" || upper == "1")
        return true;
    if (upper == "NO" || upper == "FALSE" || upper == "0")
        return false;
    return std::nullopt;
}

// "CSVDelimited", "TabDelimited", "Delimited" (a comma) or "Delimited(c)" for any one character
// but a quote or a line end.
std::optional<char> delimiterOf(std::string_view value, std::string& why)
{
    value = trimControlsAndSpaces(value);
    const std::string upper = upperAscii(value);
    if (upper == "CSVDELIMITED" || upper == "DELIMITED")
        return ',';
    if (upper == "TABDELIMITED")
        return '\t';
    if (upper.starts_with("DELIMITED(") && upper.ends_with(")")) {
        const std::string_view inside = value.substr(10, value.size() - 11);
        if (inside.size() == 1 && inside[0] != '"' && inside[0] != '\n' && inside[0] != '\r' && inside[0] != '\0')
            return inside[0];
        why = format("the delimiter of '%.*s' must be one character other than a quote or a line end",
            static_cast<int>(value.size()), value.data());
        return std::nullopt;
    }
    if (upper == "FIXEDLENGTH")
        why = "fixed-length text files are not supported";
    else
        why = format("the format '%.*s' is none of CSVDelimited, TabDelimited, Delimited(c)",
            static_cast<int>(value.size()), value.data());
    return std::nullopt;
}

std::optional<CharacterSet> characterSetOf(std::string_view value)
{
    const std::string upper = upperAscii(trimControlsAndSpaces(value));
    if (upper == "ANSI" || upper == "OEM")
        return CharacterSet::Ansi;
    if (upper == "65001" || upper == "UTF-8" || upper == "UTF8" || upper == "UNICODE")
        return CharacterSet::Utf8;
    return std::nullopt;
}

std::optional<std::size_t> countOf(std::string_view value)
{
    value = trimControlsAndSpaces(value);
    std::size_t count = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), count);
    if (ec != std::errc() || end != value.data() + value.size() || value.empty() || count > 1000000)
        return std::nullopt;
    return count;
}

std::optional<TextType> typeNamed(std::string_view name)
{
    static const std::pair<const char*, TextType> names[] = {
        { "TEXT", TextType::Text },
        { "CHAR", TextType::Text },
        { "MEMO", TextType::Memo },
        { "LONGCHAR", TextType::Memo },
        { "INTEGER", TextType::Integer },
        { "LONG", TextType::Integer },
        { "SHORT", TextType::Short },
        { "BYTE", TextType::Byte },
        { "SINGLE", TextType::Single },
        { "DOUBLE", TextType::Double },
        { "FLOAT", TextType::Double },
        { "CURRENCY", TextType::Currency },
        { "DATETIME", TextType::Date },
        { "DATE", TextType::Date },
        { "BIT", TextType::Bit },
    };
    for (const auto& [text, type] : names)
        if (sameAscii(name, text))
            return type;
    return std::nullopt;
}

// "Name Type [Width n]", the name in quotes when it holds spaces; why says what is wrong, and
// where counts from the start of the value.
std::optional<TextColumn> columnOf(std::string_view value, std::string& why, std::size_t& where)
{
    TextColumn column;
    std::size_t pos = 0;
    auto skipBlanks = [&] {
        while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t'))
            ++pos;
    };
    auto word = [&] {
        skipBlanks();
        const std::size_t start = pos;
        while (pos < value.size() && value[pos] != ' ' && value[pos] != '\t')
            ++pos;
        return value.substr(start, pos - start);
    };
    skipBlanks();
    if (pos < value.size() && value[pos] == '"') {
        const std::size_t close = value.find('"', pos + 1);
        if (close == std::string_view::npos) {
            where = pos;
            why = "the quoted column name has no closing quote";
            return std::nullopt;
        }
        column.name = std::string(value.substr(pos + 1, close - pos - 1));
        pos = close + 1;
    } else {
        column.name = std::string(word());
    }
    if (column.name.empty()) {
        where = pos;
        why = "the column has no name";
        return std::nullopt;
    }
    skipBlanks();
    where = pos;
    const std::string_view typeName = word();
    const std::optional<TextType> type = typeNamed(typeName);
    if (!type) {
        why = typeName.empty()
            ? "the column has no type"
            : format("unknown column type '%.*s'", static_cast<int>(typeName.size()), typeName.data());
        return std::nullopt;
    }
    column.type = *type;
    skipBlanks();
    where = pos;
    const std::string_view key = word();
    if (!key.empty()) {
        const std::optional<std::size_t> width = sameAscii(key, "WIDTH") ? countOf(word()) : std::nullopt;
        if (!width || *width == 0 || *width > 65535) {
            why = "after the type only 'Width n' (1 to 65535) may follow";
            return std::nullopt;
        }
        skipBlanks();
        if (pos < value.size()) {
            where = pos;
            why = "text after the width";
            return std::nullopt;
        }
        column.width = static_cast<int>(*width);
    }
    return column;
}

std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with an optional sign, and no leading zero unless the zero stands alone: "007" is a code,
// kept as text.
bool isIntegerText(std::string_view text)
{
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty() || (text.size() > 1 && text.front() == '0'))
        return false;
    for (const char c : text)
        if (!isDigit(c))
            return false;
    return true;
}

bool parseReal(std::string_view text, double& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    // from_chars would also take "inf" and "nan".
    const std::string_view digits = !text.empty() && text.front() == '-' ? text.substr(1) : text;
    if (digits.empty()
        || !(isDigit(digits.front()) || (digits.front() == '.' && digits.size() > 1 && isDigit(digits[1]))))
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// An amount: an optional minus, a currency sign ($, €, £, ¥), digits in groups of three with
// commas or without, and decimals; the plain decimal, or empty when it is none. withSign tells
// whether a sign was there.
std::string amountText(std::string_view text, bool& withSign)
{
    std::string plain;
    if (!text.empty() && text.front() == '-') {
        plain = "-";
        text.remove_prefix(1);
    }
    withSign = false;
    for (const std::string_view sign : { "$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5" })
        if (text.starts_with(sign)) {
            text.remove_prefix(sign.size());
            withSign = true;
            break;
        }
    if (withSign && plain.empty() && !text.empty() && text.front() == '-') {
        plain = "-";
        text.remove_prefix(1);
    }
    const std::size_t point = std::min(text.find('.'), text.size());
    const std::string_view whole = text.substr(0, point), decimals = text.substr(point);
    if (whole.empty() || !isDigit(whole.front()))
        return {};
    const bool grouped = whole.find(',') != std::string_view::npos;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const char c = whole[i];
        if (c == ',') {
            // A comma stands before each group of three digits.
            if ((whole.size() - i) % 4 != 0 || i == 0)
                return {};
            continue;
        }
        if (!isDigit(c) || (grouped && (whole.size() - i) % 4 == 0))
            return {};
        plain += c;
    }
    if (!decimals.empty()) {
        if (decimals.size() == 1)
            return {};
        for (const char c : decimals.substr(1))
            if (!isDigit(c))
                return {};
        plain += decimals;
    }
    return plain;
}

} // namespace

TextProperties parseExtendedProperties(std::string_view text)
{
    TextProperties result;
    std::size_t start = 0;
    while (start <= text.size()) {
        // Items end at a ';' outside parentheses, so that "FMT=Delimited(;)" is one item.
        std::size_t end = start;
        int depth = 0;
        while (end < text.size() && (text[end] != ';' || depth > 0)) {
            if (text[end] == '(')
                ++depth;
            else if (text[end] == ')' && depth > 0)
                --depth;
            ++end;
        }
        const std::string_view item = trimControlsAndSpaces(text.substr(start, end - start));
        const std::size_t position = start + 1;
        start = end + 1;
        if (item.empty())
            continue;
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            if (sameAscii(item, "TEXT"))
                result.isText = true;
            continue;
        }
        const std::string_view key = trimControlsAndSpaces(item.substr(0, equals));
        const std::string_view value = trimControlsAndSpaces(item.substr(equals + 1));
        auto fail = [&](std::string message) {
            result.message = std::move(message);
            result.position = position;
            return result;
        };
        if (sameAscii(key, "HDR")) {
            const std::optional<bool> header = yesNo(value);
            if (!header)
                return fail(format("HDR must be Yes or No, not '%.*s'", static_cast<int>(value.size()), value.data()));
            result.options.header = *header;
        } else if (sameAscii(key, "FMT")) {
            std::string why;
            const std::optional<char> delimiter = delimiterOf(value, why);
            if (!delimiter)
                return fail("FMT: " + why);
            result.options.delimiter = *delimiter;
        } else if (sameAscii(key, "CharacterSet")) {
            const std::optional<CharacterSet> set = characterSetOf(value);
            if (!set)
                return fail(format(
                    "CharacterSet must be ANSI or 65001, not '%.*s'", static_cast<int>(value.size()), value.data()));
            result.options.characterSet = *set;
        } else if (sameAscii(key, "MaxScanRows")) {
            const std::optional<std::size_t> rows = countOf(value);
            if (!rows)
                return fail("MaxScanRows must be a number of rows (0 for all)");
            result.options.scanRows = *rows;
        }
    }
    return result;
}

SchemaIni parseSchemaIni(std::string_view text, std::size_t maxColumns)
{
    SchemaIni schema;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    // ColN keys by number per section, checked for gaps when the section ends.
    std::map<std::size_t, std::pair<TextColumn, std::size_t>> columns;
    auto closeSection = [&]() -> bool {
        if (schema.sections.empty())
            return true;
        std::size_t expected = 1;
        for (auto& [number, entry] : columns) {
            if (number != expected) {
                schema.fault = { format("Col%zu is missing before Col%zu", expected, number), entry.second, 1 };
                return false;
            }
            schema.sections.back().columns.push_back(std::move(entry.first));
            ++expected;
        }
        columns.clear();
        return true;
    };
    std::size_t line = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        ++line;
        const std::string_view content = trimControlsAndSpaces(raw);
        const std::size_t column = static_cast<std::size_t>(content.data() - raw.data()) + 1;
        auto fail = [&](std::string message, std::size_t at) {
            schema.fault = { std::move(message), line, at };
            return schema;
        };
        if (content.empty() || content.front() == ';' || content.front() == '#')
            continue;
        if (content.front() == '[') {
            if (content.back() != ']' || content.size() < 3)
                return fail("a section name is written [file name]", column);
            if (!closeSection())
                return schema;
            schema.sections.push_back({});
            schema.sections.back().fileName = std::string(trimControlsAndSpaces(content.substr(1, content.size() - 2)));
            continue;
        }
        const std::size_t equals = content.find('=');
        if (equals == std::string_view::npos)
            return fail("a line is [file name], Key=Value or a comment", column);
        if (schema.sections.empty())
            return fail("a key stands before the first [file name] section", column);
        SchemaSection& section = schema.sections.back();
        const std::string_view key = trimControlsAndSpaces(content.substr(0, equals));
        const std::string_view value = trimControlsAndSpaces(content.substr(equals + 1));
        const std::size_t valueColumn = column + static_cast<std::size_t>(value.data() - content.data());
        const std::string keyText(key);
        if (sameAscii(key, "ColNameHeader")) {
            section.header = yesNo(value);
            if (!section.header)
                return fail("ColNameHeader must be True or False", valueColumn);
        } else if (sameAscii(key, "Format")) {
            std::string why;
            section.delimiter = delimiterOf(value, why);
            if (!section.delimiter)
                return fail(why, valueColumn);
        } else if (sameAscii(key, "CharacterSet")) {
            section.characterSet = characterSetOf(value);
            if (!section.characterSet)
                return fail("CharacterSet must be ANSI or 65001", valueColumn);
        } else if (sameAscii(key, "MaxScanRows")) {
            section.scanRows = countOf(value);
            if (!section.scanRows)
                return fail("MaxScanRows must be a number of rows (0 for all)", valueColumn);
        } else if (key.size() > 3 && sameAscii(key.substr(0, 3), "COL")) {
            const std::optional<std::size_t> number = countOf(key.substr(3));
            if (!number || *number == 0)
                return fail(format("'%s' is not ColN with N from 1", keyText.c_str()), column);
            if (*number > maxColumns)
                return fail(format("more than %zu columns", maxColumns), column);
            if (columns.count(*number))
                return fail(format("%s is given twice", keyText.c_str()), column);
            std::string why;
            std::size_t where = 0;
            std::optional<TextColumn> described = columnOf(value, why, where);
            if (!described)
                return fail(why, valueColumn + where);
            columns.emplace(*number, std::make_pair(std::move(*described), line));
        }
        // Other keys (DateTimeFormat, DecimalSymbol, ...) configure what this reader does its own way.
    }
    closeSection();
    return schema;
}

const SchemaSection* findSection(const SchemaIni& schema, std::string_view fileName)
{
    for (const SchemaSection& section : schema.sections)
        if (sameAscii(section.fileName, fileName))
            return &section;
    return nullptr;
}

TextFileOptions withSection(TextFileOptions options, const SchemaSection& section)
{
    if (section.header)
        options.header = *section.header;
    if (section.delimiter)
        options.delimiter = *section.delimiter;
    if (section.characterSet)
        options.characterSet = *section.characterSet;
    if (section.scanRows)
        options.scanRows = *section.scanRows;
    options.columns = section.columns;
    return options;
}

void TypeGuess::add(std::string_view value)
{
    value = trimControlsAndSpaces(value);
    if (value.empty())
        return;
    m_longest = std::max(m_longest, characterCount(value));
    double real = 0;
    bool withSign = false;
    if (isIntegerText(value)) {
        int64_t integer = 0;
        const std::string_view digits = value.front() == '+' ? value.substr(1) : value;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
        if (ec == std::errc() && integer >= std::numeric_limits<int32_t>::min()
            && integer <= std::numeric_limits<int32_t>::max())
            m_integer = true;
        else
            m_wideInteger = true;
    } else if (parseReal(value, real) && !(value.size() > 1 && value[0] == '0' && isDigit(value[1]))) {
        m_real = true;
    } else if (!amountText(value, withSign).empty() && withSign) {
        m_currency = true;
    } else if (isoDateText(value)) {
        m_date = true;
    } else {
        m_text = true;
    }
}

TextType TypeGuess::type() const
{
    const bool number = m_integer || m_wideInteger || m_real || m_currency;
    if (m_text || (m_date && number))
        return m_longest > 255 ? TextType::Memo : TextType::Text;
    if (m_date)
        return TextType::Date;
    if (m_currency)
        return TextType::Currency;
    if (m_real || m_wideInteger)
        return TextType::Double;
    if (m_integer)
        return TextType::Integer;
    return TextType::Text;
}

std::string declaredType(const TextColumn& column)
{
    switch (column.type) {
    case TextType::Text:
        return format("VARCHAR(%d)", column.width > 0 ? column.width : 255);
    case TextType::Memo:
        return "LONGTEXT";
    case TextType::Integer:
        return "INTEGER";
    case TextType::Short:
        return "SMALLINT";
    case TextType::Byte:
        return "BYTE";
    case TextType::Single:
        return "SINGLE";
    case TextType::Double:
        return "DOUBLE";
    case TextType::Currency:
        return "CURRENCY";
    case TextType::Date:
        return "DATETIME";
    case TextType::Bit:
        return "BIT";
    }
    return "VARCHAR(255)";
}

void convertField(std::string_view field, TextType type, TextValue& value)
{
    value.kind = TextValue::Kind::Null;
    if (type == TextType::Text || type == TextType::Memo) {
        if (!field.empty()) {
            value.kind = TextValue::Kind::Text;
            value.text.assign(field);
        }
        return;
    }
    const std::string_view text = trimControlsAndSpaces(field);
    if (text.empty())
        return;
    switch (type) {
    case TextType::Integer:
    case TextType::Short:
    case TextType::Byte: {
        const std::string_view digits = text.front() == '+' ? text.substr(1) : text;
        int64_t integer = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
        if (ec != std::errc() || end != digits.data() + digits.size())
            return;
        const int64_t low = type == TextType::Byte ? 0
            : type == TextType::Short              ? -32768
                                                   : std::numeric_limits<int32_t>::min();
        const int64_t high = type == TextType::Byte ? 255
            : type == TextType::Short               ? 32767
                                                    : std::numeric_limits<int32_t>::max();
        if (integer < low || integer > high)
            return;
        value.kind = TextValue::Kind::Integer;
        value.integer = integer;
        return;
    }
    case TextType::Bit: {
        const std::string upper = upperAscii(text);
        int64_t integer = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), integer);
        if (ec == std::errc() && end == text.data() + text.size())
            value.integer = integer != 0 ? -1 : 0;
        else if (upper == "TRUE" || upper == "YES" || upper == "ON")
            value.integer = -1;
        else if (upper == "FALSE" || upper == "NO" || upper == "OFF")
            value.integer = 0;
        else
            return;
        value.kind = TextValue::Kind::Integer;
        return;
    }
    case TextType::Single:
    case TextType::Double:
        if (parseReal(text, value.real))
            value.kind = TextValue::Kind::Real;
        return;
    case TextType::Currency: {
        bool withSign = false;
        const std::optional<int64_t> amount = parseCurrencyText(amountText(text, withSign));
        if (!amount)
            return;
        // A division is rounded correctly: the shortest text of the real is the amount's decimal.
        value.kind = TextValue::Kind::Real;
        value.real = static_cast<double>(*amount) / 10000.0;
        return;
    }
    case TextType::Date:
        if (std::optional<std::string> date = isoDateText(text)) {
            value.kind = TextValue::Kind::Text;
            value.text = std::move(*date);
        }
        return;
    case TextType::Text:
    case TextType::Memo:
        return;
    }
}

std::optional<std::string> isoDateText(std::string_view text)
{
    text = trimControlsAndSpaces(text);
    std::size_t pos = 0;
    auto number = [&](std::size_t minDigits, std::size_t maxDigits, int& out) {
        std::size_t count = 0;
        out = 0;
        while (pos < text.size() && isDigit(text[pos]) && count < maxDigits) {
            out = out * 10 + (text[pos] - '0');
            ++pos;
            ++count;
        }
        return count >= minDigits && (pos == text.size() || !isDigit(text[pos]));
    };
    auto expect = [&](char c) {
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    };
    int year = 0, month = 0, day = 0;
    bool us = false;
    if (text.size() >= 5 && isDigit(text[0]) && isDigit(text[1]) && isDigit(text[2]) && isDigit(text[3])
        && (text[4] == '-' || text[4] == '/')) {
        const char separator = text[4];
        if (!number(4, 4, year) || !expect(separator) || !number(1, 2, month) || !expect(separator)
            || !number(1, 2, day))
            return std::nullopt;
    } else {
        if (!number(1, 2, month) || !expect('/') || !number(1, 2, day) || !expect('/') || !number(4, 4, year))
            return std::nullopt;
        us = true;
    }
    std::string result = format("%04d-%02d-%02d", year, month, day);
    if (pos < text.size()) {
        if (text[pos] != ' ' && (us || text[pos] != 'T'))
            return std::nullopt;
        ++pos;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        int hour = 0, minute = 0, second = 0;
        if (!number(1, 2, hour) || !expect(':') || !number(2, 2, minute))
            return std::nullopt;
        if (expect(':') && !number(2, 2, second))
            return std::nullopt;
        std::string fraction;
        if (pos < text.size() && text[pos] == '.') {
            const std::size_t start = pos++;
            while (pos < text.size() && isDigit(text[pos]))
                ++pos;
            if (pos == start + 1)
                return std::nullopt;
            fraction = std::string(text.substr(start, pos - start));
        }
        if (us) {
            while (pos < text.size() && text[pos] == ' ')
                ++pos;
            const std::string marker = upperAscii(text.substr(pos));
            if (marker == "AM" || marker == "PM") {
                if (hour < 1 || hour > 12)
                    return std::nullopt;
                hour = hour % 12 + (marker == "PM" ? 12 : 0);
                pos = text.size();
            }
        }
        if (pos != text.size())
            return std::nullopt;
        result += format(" %02d:%02d:%02d", hour, minute, second) + fraction;
    }
    // The range of each part, leap days included, is the stored date text's own rule.
    if (!parseDateText(result))
        return std::nullopt;
    return result;
}

} // namespace vl
