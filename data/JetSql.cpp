#include "JetSql.h"

#include "SqliteProvider_p.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace vl::jetsql
{
namespace
{

struct Token {
    enum class Kind { End, Word, Bracketed, Number, String, Date, Symbol };
    Kind kind = Kind::End;
    std::string text;
    std::size_t position = 0; // 1-based
};

bool isWordStart(unsigned char c)
{
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

std::string upperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return out;
}

struct SyntaxError {
    std::string message;
    std::size_t position;
};

std::vector<Token> tokenize(std::string_view text)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        Token token;
        token.position = i + 1;
        if (isWordStart(c)) {
            std::size_t end = i;
            while (end < text.size() && isWordChar(static_cast<unsigned char>(text[end])))
                ++end;
            token.kind = Token::Kind::Word;
            token.text = std::string(text.substr(i, end - i));
            i = end;
        } else if (c == '[') {
            const std::size_t close = text.find(']', i + 1);
            if (close == std::string_view::npos)
                throw SyntaxError { "a name in brackets has no closing ']'", i + 1 };
            if (close == i + 1)
                throw SyntaxError { "empty name in brackets", i + 1 };
            token.kind = Token::Kind::Bracketed;
            token.text = std::string(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (std::isdigit(c)
            || (c == '.' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            std::size_t end = i;
            while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.'))
                ++end;
            if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
                std::size_t exp = end + 1;
                if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
                    ++exp;
                if (exp < text.size() && std::isdigit(static_cast<unsigned char>(text[exp]))) {
                    end = exp;
                    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
                        ++end;
                }
            }
            token.kind = Token::Kind::Number;
            token.text = std::string(text.substr(i, end - i));
            if (std::count(token.text.begin(), token.text.end(), '.') > 1)
                throw SyntaxError { "malformed number '" + token.text + "'", i + 1 };
            i = end;
        } else if (c == '\'' || c == '"') {
            const char quote = static_cast<char>(c);
            std::size_t j = i + 1;
            bool closed = false;
            while (j < text.size()) {
                if (text[j] == quote) {
                    if (j + 1 < text.size() && text[j + 1] == quote) {
                        token.text += quote;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                token.text += text[j++];
            }
            if (!closed)
                throw SyntaxError { "a text literal has no closing quote", i + 1 };
            token.kind = Token::Kind::String;
            i = j;
        } else if (c == '#') {
            const std::size_t close = text.find('#', i + 1);
            if (close == std::string_view::npos)
                throw SyntaxError { "a date literal has no closing '#'", i + 1 };
            token.kind = Token::Kind::Date;
            token.text = std::string(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            static const char* const symbols[]
                = { "<>", "!=", "<=", ">=", "*", ",", "(", ")", "=", "<", ">", ";", ".", "-", "+" };
            token.kind = Token::Kind::Symbol;
            for (const char* symbol : symbols)
                if (text.substr(i).starts_with(symbol)) {
                    token.text = symbol;
                    break;
                }
            if (token.text.empty())
                throw SyntaxError { format("unexpected character '%c'", static_cast<char>(c)), i + 1 };
            i += token.text.size();
        }
        tokens.push_back(std::move(token));
    }
    Token end;
    end.position = text.size() + 1;
    tokens.push_back(end);
    return tokens;
}

// Day number of a date literal: ISO forms (as stored dates) or month/day/year with an optional time.
std::optional<double> parseDateLiteral(std::string_view text)
{
    if (auto iso = parseDateText(text))
        return iso;
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char tail[16] = {};
    const std::string copy(text);
    const int n
        = std::sscanf(copy.c_str(), "%d/%d/%d %d:%d:%d%15s", &month, &day, &year, &hour, &minute, &second, tail);
    if (n < 3 || n == 4 || n == 7 || month < 1 || month > 12 || day < 1 || day > 31 || year < 100 || hour > 23
        || minute > 59 || second > 59)
        return std::nullopt;
    const std::string iso = format("%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return parseDateText(iso);
}

class Parser
{
public:
    explicit Parser(std::vector<Token> tokens)
        : m_tokens(std::move(tokens))
    {
    }

    SelectStatement parse()
    {
        SelectStatement statement;
        expectKeyword("SELECT", "the command must begin with SELECT");
        if (peekSymbol("*")) {
            next();
            statement.allColumns = true;
        } else {
            statement.columns.push_back(columnName("a column name or '*' expected after SELECT"));
            while (peekSymbol(",")) {
                next();
                statement.columns.push_back(columnName("a column name expected after ','"));
            }
        }
        expectKeyword("FROM", "FROM expected after the column list");
        statement.table = name("a table name expected after FROM");
        m_table = statement.table.text;
        for (const Name& qualifier : m_qualified)
            if (!sameText(qualifier.text, m_table, "UTF-8"))
                throw SyntaxError { format("'%s' is not the table of the statement", qualifier.text.c_str()),
                    qualifier.position };
        if (peekKeyword("WHERE")) {
            next();
            statement.where = orCondition();
        }
        if (peekKeyword("ORDER")) {
            next();
            expectKeyword("BY", "BY expected after ORDER");
            do {
                if (!statement.orderBy.empty())
                    next(); // the ","
                OrderItem item;
                item.column = columnName("a column name expected in ORDER BY");
                if (peekKeyword("ASC")) {
                    next();
                } else if (peekKeyword("DESC")) {
                    next();
                    item.descending = true;
                }
                statement.orderBy.push_back(std::move(item));
            } while (peekSymbol(","));
        }
        if (peekSymbol(";"))
            next();
        if (current().kind != Token::Kind::End)
            throw SyntaxError { "characters found after end of SQL statement", current().position };
        return statement;
    }

private:
    const Token& current() const { return m_tokens[m_index]; }
    const Token& next() { return m_tokens[m_index++]; }
    bool peekKeyword(const char* keyword) const
    {
        return current().kind == Token::Kind::Word && upperAscii(current().text) == keyword;
    }
    bool peekSymbol(const char* symbol) const
    {
        return current().kind == Token::Kind::Symbol && current().text == symbol;
    }
    void expectKeyword(const char* keyword, const char* message)
    {
        if (!peekKeyword(keyword))
            throw SyntaxError { message, current().position };
        next();
    }
    static bool reserved(const std::string& word)
    {
        static const char* const words[] = { "SELECT", "FROM", "WHERE", "ORDER", "BY", "AND", "OR", "NOT", "IS", "NULL",
            "ASC", "DESC", "TRUE", "FALSE", "YES", "NO", "ON", "OFF" };
        const std::string upper = upperAscii(word);
        return std::any_of(std::begin(words), std::end(words), [&](const char* w) { return upper == w; });
    }
    Name name(const char* message)
    {
        const Token& token = current();
        if (token.kind == Token::Kind::Bracketed || (token.kind == Token::Kind::Word && !reserved(token.text))) {
            next();
            return { token.text, token.position };
        }
        throw SyntaxError { message, token.position };
    }
    // A column, optionally qualified by the statement's table.
    Name columnName(const char* message)
    {
        Name first = name(message);
        if (peekSymbol(".")) {
            next();
            Name column = name("a column name expected after '.'");
            // Qualifiers in the column list are checked once the table is known.
            if (m_table.empty())
                m_qualified.push_back(first);
            else if (!sameText(first.text, m_table, "UTF-8"))
                throw SyntaxError { format("'%s' is not the table of the statement", first.text.c_str()),
                    first.position };
            return column;
        }
        return first;
    }

    // One node for a chain of the same operator, so that a long chain is wide, not deep.
    std::unique_ptr<Condition> chain(Condition::Kind kind, const char* keyword, std::unique_ptr<Condition> first,
        std::unique_ptr<Condition> (Parser::*operand)())
    {
        if (!peekKeyword(keyword))
            return first;
        auto node = std::make_unique<Condition>();
        node->kind = kind;
        node->operands.push_back(std::move(first));
        while (peekKeyword(keyword)) {
            next();
            node->operands.push_back((this->*operand)());
        }
        return node;
    }
    std::unique_ptr<Condition> orCondition()
    {
        return chain(Condition::Kind::Or, "OR", andCondition(), &Parser::andCondition);
    }
    std::unique_ptr<Condition> andCondition()
    {
        return chain(Condition::Kind::And, "AND", notCondition(), &Parser::notCondition);
    }
    // Entered for each '(' and `not`: deeper nesting would exhaust the stack of the recursive descent.
    void enterNesting(std::size_t position)
    {
        if (++m_nesting > MaxConditionNesting)
            throw SyntaxError { format("conditions nested more than %zu deep", MaxConditionNesting), position };
    }
    std::unique_ptr<Condition> notCondition()
    {
        if (peekKeyword("NOT")) {
            enterNesting(current().position);
            next();
            auto node = std::make_unique<Condition>();
            node->kind = Condition::Kind::Not;
            node->operands.push_back(notCondition());
            --m_nesting;
            return node;
        }
        if (peekSymbol("(")) {
            const std::size_t open = current().position;
            enterNesting(open);
            next();
            auto inner = orCondition();
            if (!peekSymbol(")"))
                throw SyntaxError { format("')' expected to close the '(' at position %zu", open), current().position };
            next();
            --m_nesting;
            return inner;
        }
        return comparison();
    }
    std::optional<Condition::Op> comparisonOperator()
    {
        if (current().kind != Token::Kind::Symbol)
            return std::nullopt;
        const std::string& s = current().text;
        std::optional<Condition::Op> op;
        if (s == "=")
            op = Condition::Op::Equal;
        else if (s == "<>" || s == "!=")
            op = Condition::Op::NotEqual;
        else if (s == "<")
            op = Condition::Op::Less;
        else if (s == "<=")
            op = Condition::Op::LessEqual;
        else if (s == ">")
            op = Condition::Op::Greater;
        else if (s == ">=")
            op = Condition::Op::GreaterEqual;
        if (op)
            next();
        return op;
    }
    std::optional<Literal> literal()
    {
        const Token& token = current();
        Literal value;
        value.position = token.position;
        switch (token.kind) {
        case Token::Kind::Number:
            value.kind = Literal::Kind::Number;
            value.text = token.text;
            break;
        case Token::Kind::String:
            value.kind = Literal::Kind::Text;
            value.text = token.text;
            break;
        case Token::Kind::Date: {
            auto day = parseDateLiteral(token.text);
            if (!day)
                throw SyntaxError { format("'#%s#' is not a date", token.text.c_str()), token.position };
            value.kind = Literal::Kind::Date;
            value.date = *day;
            break;
        }
        case Token::Kind::Word: {
            const std::string upper = upperAscii(token.text);
            if (upper == "NULL") {
                value.kind = Literal::Kind::Null;
            } else if (upper == "TRUE" || upper == "YES" || upper == "ON") {
                value.kind = Literal::Kind::Boolean;
                value.flag = true;
            } else if (upper == "FALSE" || upper == "NO" || upper == "OFF") {
                value.kind = Literal::Kind::Boolean;
            } else {
                return std::nullopt;
            }
            break;
        }
        default:
            return std::nullopt;
        }
        next();
        return value;
    }
    std::optional<Literal> signedLiteral()
    {
        if (current().kind == Token::Kind::Symbol && (current().text == "-" || current().text == "+")) {
            const Token sign = next();
            if (current().kind != Token::Kind::Number)
                throw SyntaxError { "a number expected after the sign", current().position };
            auto value = literal();
            value->position = sign.position;
            if (sign.text == "-")
                value->text = "-" + value->text;
            return value;
        }
        return literal();
    }
    static Condition::Op mirrored(Condition::Op op)
    {
        switch (op) {
        case Condition::Op::Less:
            return Condition::Op::Greater;
        case Condition::Op::LessEqual:
            return Condition::Op::GreaterEqual;
        case Condition::Op::Greater:
            return Condition::Op::Less;
        case Condition::Op::GreaterEqual:
            return Condition::Op::LessEqual;
        default:
            return op;
        }
    }
    std::unique_ptr<Condition> comparison()
    {
        auto node = std::make_unique<Condition>();
        if (auto value = signedLiteral()) {
            // literal op column
            auto op = comparisonOperator();
            if (!op)
                throw SyntaxError { "a comparison operator expected", current().position };
            node->literal = *value;
            node->op = mirrored(*op);
            node->column = columnName("a column name expected after the comparison operator");
            return node;
        }
        node->column = columnName("a condition expected: a column compared with a value");
        if (peekKeyword("IS")) {
            next();
            node->kind = Condition::Kind::IsNull;
            if (peekKeyword("NOT")) {
                next();
                node->kind = Condition::Kind::IsNotNull;
            }
            expectKeyword("NULL", "NULL expected after IS");
            return node;
        }
        auto op = comparisonOperator();
        if (!op)
            throw SyntaxError { "a comparison operator expected after the column name", current().position };
        node->op = *op;
        auto value = signedLiteral();
        if (!value)
            throw SyntaxError { "a value expected after the comparison operator", current().position };
        node->literal = *value;
        return node;
    }

    std::vector<Token> m_tokens;
    std::size_t m_index = 0;
    std::string m_table;
    std::vector<Name> m_qualified;
    std::size_t m_nesting = 0;
};

// ---- running ----

enum class Category { Number, Currency, Date, Boolean, Text, Bytes };

Category categoryOf(int adoType)
{
    switch (adoType) {
    case adBoolean:
        return Category::Boolean;
    case adCurrency:
    case adNumeric:
    case adDecimal:
    case adVarNumeric:
        return Category::Currency;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
        return Category::Date;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Category::Bytes;
    case adVarWChar:
    case adWChar:
    case adLongVarWChar:
    case adBSTR:
    case adChar:
    case adVarChar:
    case adLongVarChar:
    case adGUID:
        return Category::Text;
    default:
        return Category::Number;
    }
}

double numberOf(const ProviderCell& cell)
{
    switch (cell.kind) {
    case ProviderCell::Kind::Integer:
        return static_cast<double>(cell.integer);
    case ProviderCell::Kind::Currency:
        return static_cast<double>(cell.integer) / 10000.0;
    case ProviderCell::Kind::Float:
    case ProviderCell::Kind::Date:
        return cell.real;
    default:
        return 0;
    }
}

// Text compared without regard to case: the upper-case form, compared by code point.
std::u16string foldedText(std::string_view utf8)
{
    return utf8ToUtf16(upperCase(utf8, "UTF-8"));
}

template <typename T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareCells(const ProviderCell& a, const ProviderCell& b, Category category)
{
    switch (category) {
    case Category::Currency:
        if (a.kind == ProviderCell::Kind::Currency && b.kind == ProviderCell::Kind::Currency)
            return threeWay(a.integer, b.integer);
        return threeWay(numberOf(a), numberOf(b));
    case Category::Number:
    case Category::Boolean:
    case Category::Date:
        if (a.kind == ProviderCell::Kind::Integer && b.kind == ProviderCell::Kind::Integer)
            return threeWay(a.integer, b.integer);
        return threeWay(numberOf(a), numberOf(b));
    case Category::Text:
        return threeWay(foldedText(a.bytes), foldedText(b.bytes));
    case Category::Bytes:
        return threeWay(a.bytes, b.bytes);
    }
    return 0;
}

[[noreturn]] void commandError(const std::string& message, std::size_t position)
{
    providerError(format("%s at position %zu.", message.c_str(), position), DB_E_ERRORSINCOMMAND);
}

// A literal converted to a cell of the column's kind (texts kept in storage).
struct BoundLiteral {
    ProviderCell cell;
    std::string storage;
};

BoundLiteral bindLiteral(const Literal& literal, const ProviderColumn& column, Category category)
{
    BoundLiteral bound;
    auto mismatch = [&]() -> BoundLiteral {
        commandError(format("Data type mismatch in criteria expression: column '%s' cannot be compared with this value",
                         column.name.c_str()),
            literal.position);
    };
    switch (category) {
    case Category::Number:
    case Category::Currency: {
        if (literal.kind == Literal::Kind::Boolean) {
            bound.cell.kind = ProviderCell::Kind::Integer;
            bound.cell.integer = literal.flag ? -1 : 0;
            return bound;
        }
        if (literal.kind != Literal::Kind::Number)
            return mismatch();
        if (category == Category::Currency) {
            auto value = parseCurrencyText(literal.text);
            if (!value)
                return mismatch();
            bound.cell.kind = ProviderCell::Kind::Currency;
            bound.cell.integer = *value;
            return bound;
        }
        int64_t integer = 0;
        const char* begin = literal.text.data();
        const char* end = begin + literal.text.size();
        auto [stop, ec] = std::from_chars(begin, end, integer);
        if (ec == std::errc() && stop == end) {
            bound.cell.kind = ProviderCell::Kind::Integer;
            bound.cell.integer = integer;
        } else {
            bound.cell.kind = ProviderCell::Kind::Float;
            bound.cell.real = std::strtod(literal.text.c_str(), nullptr);
        }
        return bound;
    }
    case Category::Date:
        bound.cell.kind = ProviderCell::Kind::Date;
        if (literal.kind == Literal::Kind::Date) {
            bound.cell.real = literal.date;
        } else if (literal.kind == Literal::Kind::Text) {
            auto day = parseDateLiteral(literal.text);
            if (!day)
                return mismatch();
            bound.cell.real = *day;
        } else if (literal.kind == Literal::Kind::Number) {
            bound.cell.real = std::strtod(literal.text.c_str(), nullptr);
        } else {
            return mismatch();
        }
        return bound;
    case Category::Boolean:
        bound.cell.kind = ProviderCell::Kind::Integer;
        if (literal.kind == Literal::Kind::Boolean)
            bound.cell.integer = literal.flag ? -1 : 0;
        else if (literal.kind == Literal::Kind::Number)
            bound.cell.integer = std::strtod(literal.text.c_str(), nullptr) != 0 ? -1 : 0;
        else
            return mismatch();
        return bound;
    case Category::Text:
        if (literal.kind != Literal::Kind::Text)
            return mismatch();
        bound.storage = literal.text;
        bound.cell.kind = ProviderCell::Kind::Text;
        bound.cell.bytes = bound.storage;
        return bound;
    case Category::Bytes:
        return mismatch();
    }
    return bound;
}

// A condition with its columns and literals resolved against the table.
struct BoundCondition {
    Condition::Kind kind = Condition::Kind::Compare;
    Condition::Op op = Condition::Op::Equal;
    std::size_t column = 0;
    Category category = Category::Number;
    bool alwaysUnknown = false; // compared with NULL
    std::unique_ptr<BoundLiteral> literal;
    std::vector<std::unique_ptr<BoundCondition>> operands;
};

std::size_t findColumn(const ProviderResult& table, const Name& name)
{
    const auto& columns = table.columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (sameText(columns[i].name, name.text, "UTF-8"))
            return i;
    commandError(format("No column '%s' in the table", name.text.c_str()), name.position);
}

std::unique_ptr<BoundCondition> bind(const Condition& condition, const ProviderResult& table)
{
    auto bound = std::make_unique<BoundCondition>();
    bound->kind = condition.kind;
    bound->op = condition.op;
    switch (condition.kind) {
    case Condition::Kind::And:
    case Condition::Kind::Or:
    case Condition::Kind::Not:
        bound->operands.reserve(condition.operands.size());
        for (const auto& operand : condition.operands)
            bound->operands.push_back(bind(*operand, table));
        break;
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull:
        bound->column = findColumn(table, condition.column);
        break;
    case Condition::Kind::Compare: {
        bound->column = findColumn(table, condition.column);
        const ProviderColumn& column = table.columns()[bound->column];
        bound->category = categoryOf(column.type);
        if (condition.literal.kind == Literal::Kind::Null) {
            bound->alwaysUnknown = true;
        } else {
            bound->literal = std::make_unique<BoundLiteral>(bindLiteral(condition.literal, column, bound->category));
            // The text view must point into the literal's final home, not the moved-from copy.
            if (bound->literal->cell.kind == ProviderCell::Kind::Text)
                bound->literal->cell.bytes = bound->literal->storage;
        }
        break;
    }
    }
    return bound;
}

// Three-valued logic: a comparison with a null is unknown, and only true rows are kept.
enum class Truth { False, True, Unknown };

Truth evaluate(const BoundCondition& condition, const ProviderResult& table, std::size_t row)
{
    switch (condition.kind) {
    case Condition::Kind::And: {
        // False wins over unknown, which wins over true.
        Truth result = Truth::True;
        for (const auto& operand : condition.operands) {
            const Truth t = evaluate(*operand, table, row);
            if (t == Truth::False)
                return Truth::False;
            if (t == Truth::Unknown)
                result = Truth::Unknown;
        }
        return result;
    }
    case Condition::Kind::Or: {
        Truth result = Truth::False;
        for (const auto& operand : condition.operands) {
            const Truth t = evaluate(*operand, table, row);
            if (t == Truth::True)
                return Truth::True;
            if (t == Truth::Unknown)
                result = Truth::Unknown;
        }
        return result;
    }
    case Condition::Kind::Not: {
        const Truth a = evaluate(*condition.operands.front(), table, row);
        return a == Truth::Unknown ? a : (a == Truth::True ? Truth::False : Truth::True);
    }
    case Condition::Kind::IsNull:
        return table.cell(row, condition.column).kind == ProviderCell::Kind::Null ? Truth::True : Truth::False;
    case Condition::Kind::IsNotNull:
        return table.cell(row, condition.column).kind != ProviderCell::Kind::Null ? Truth::True : Truth::False;
    case Condition::Kind::Compare: {
        const ProviderCell cell = table.cell(row, condition.column);
        if (condition.alwaysUnknown || cell.kind == ProviderCell::Kind::Null)
            return Truth::Unknown;
        ProviderCell value = cell;
        if (condition.category == Category::Boolean)
            value.integer = value.integer != 0 ? -1 : 0;
        const int c = compareCells(value, condition.literal->cell, condition.category);
        bool result = false;
        switch (condition.op) {
        case Condition::Op::Equal:
            result = c == 0;
            break;
        case Condition::Op::NotEqual:
            result = c != 0;
            break;
        case Condition::Op::Less:
            result = c < 0;
            break;
        case Condition::Op::LessEqual:
            result = c <= 0;
            break;
        case Condition::Op::Greater:
            result = c > 0;
            break;
        case Condition::Op::GreaterEqual:
            result = c >= 0;
            break;
        }
        return result ? Truth::True : Truth::False;
    }
    }
    return Truth::Unknown;
}

class SelectedResult final : public ProviderResult
{
public:
    SelectedResult(
        std::shared_ptr<const ProviderResult> base, std::vector<std::size_t> columns, std::vector<std::size_t> rows)
        : m_base(std::move(base))
        , m_columnMap(std::move(columns))
        , m_rows(std::move(rows))
    {
        for (std::size_t c : m_columnMap)
            m_columns.push_back(m_base->columns()[c]);
    }
    const std::vector<ProviderColumn>& columns() const override { return m_columns; }
    std::size_t rowCount() const override { return m_rows.size(); }
    ProviderCell cell(std::size_t row, std::size_t column) const override
    {
        return m_base->cell(m_rows[row], m_columnMap[column]);
    }

private:
    std::shared_ptr<const ProviderResult> m_base;
    std::vector<std::size_t> m_columnMap;
    std::vector<std::size_t> m_rows;
    std::vector<ProviderColumn> m_columns;
};

} // namespace

ParseResult parseSelect(std::string_view text)
{
    ParseResult result;
    try {
        Parser parser(tokenize(text));
        result.statement = parser.parse();
    } catch (const SyntaxError& error) {
        result.message = error.message;
        result.position = error.position;
    }
    return result;
}

std::unique_ptr<ProviderResult> runSelect(const SelectStatement& statement, std::shared_ptr<const ProviderResult> table)
{
    std::vector<std::size_t> columns;
    if (statement.allColumns) {
        columns.resize(table->columns().size());
        std::iota(columns.begin(), columns.end(), 0);
    } else {
        for (const Name& name : statement.columns)
            columns.push_back(findColumn(*table, name));
    }
    std::unique_ptr<BoundCondition> where;
    if (statement.where)
        where = bind(*statement.where, *table);
    struct Key {
        std::size_t column;
        Category category;
        bool descending;
    };
    std::vector<Key> keys;
    for (const OrderItem& item : statement.orderBy) {
        const std::size_t column = findColumn(*table, item.column);
        keys.push_back({ column, categoryOf(table->columns()[column].type), item.descending });
    }

    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < table->rowCount(); ++row)
        if (!where || evaluate(*where, *table, row) == Truth::True)
            rows.push_back(row);
    if (!keys.empty()) {
        // Folded texts once per row and key, not once per comparison.
        std::vector<std::vector<std::u16string>> folded(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (keys[k].category == Category::Text) {
                folded[k].resize(table->rowCount());
                for (std::size_t row : rows) {
                    const ProviderCell cell = table->cell(row, keys[k].column);
                    if (cell.kind != ProviderCell::Kind::Null)
                        folded[k][row] = foldedText(cell.bytes);
                }
            }
        std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const Key& key = keys[k];
                const ProviderCell x = table->cell(a, key.column);
                const ProviderCell y = table->cell(b, key.column);
                const bool xNull = x.kind == ProviderCell::Kind::Null, yNull = y.kind == ProviderCell::Kind::Null;
                int c;
                if (xNull || yNull)
                    c = xNull == yNull ? 0 : (xNull ? -1 : 1);
                else if (key.category == Category::Text)
                    c = threeWay(folded[k][a], folded[k][b]);
                else
                    c = compareCells(x, y, key.category);
                if (c != 0)
                    return key.descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    return std::make_unique<SelectedResult>(std::move(table), std::move(columns), std::move(rows));
}

} // namespace vl::jetsql
