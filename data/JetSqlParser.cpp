#include "JetSqlParser.h"

#include "AsciiText_p.h"
#include "SqliteProvider_p.h"

#include "Text.h"

#include <cctype>
#include <cstdio>

namespace vl::jetsql
{

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

} // namespace vl::jetsql
