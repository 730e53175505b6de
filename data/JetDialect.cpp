#include "JetDialect.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vl
{

namespace
{

struct Token {
    enum class Kind { Word, Number, Symbol, Opaque };
    Kind kind = Kind::Opaque;
    std::size_t begin = 0; // 0-based byte offsets
    std::size_t end = 0;
    int depth = 0; // parentheses around the token
};

bool isWordChar(unsigned char c)
{
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

// Skips a quoted run opened at text[i]; npos when it is not closed.
std::size_t skipQuoted(std::string_view text, std::size_t i, char close)
{
    for (std::size_t j = i + 1; j < text.size(); ++j)
        if (text[j] == close) {
            if (close != ']' && j + 1 < text.size() && text[j + 1] == close) {
                ++j;
                continue;
            }
            return j + 1;
        }
    return std::string_view::npos;
}

// The tokens outside comments; empty when a quote or bracket is left open, so that the text goes to
// SQLite as written and is refused there with its own message.
std::vector<Token> tokenize(std::string_view text)
{
    std::vector<Token> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (text.substr(i).starts_with("--")) {
            const std::size_t newline = text.find('\n', i);
            i = newline == std::string_view::npos ? text.size() : newline + 1;
            continue;
        }
        if (text.substr(i).starts_with("/*")) {
            const std::size_t close = text.find("*/", i + 2);
            i = close == std::string_view::npos ? text.size() : close + 2;
            continue;
        }
        Token token;
        token.begin = i;
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            i = skipQuoted(text, i, c == '[' ? ']' : static_cast<char>(c));
            if (i == std::string_view::npos)
                return {};
        } else if (std::isdigit(c)) {
            token.kind = Token::Kind::Number;
            while (i < text.size() && isWordChar(static_cast<unsigned char>(text[i])))
                ++i;
            if (i < text.size() && text[i] == '.')
                token.kind = Token::Kind::Opaque;
        } else if (isWordChar(c)) {
            token.kind = Token::Kind::Word;
            while (i < text.size() && isWordChar(static_cast<unsigned char>(text[i])))
                ++i;
        } else {
            token.kind = Token::Kind::Symbol;
            if (c == ')')
                depth = std::max(0, depth - 1);
            ++i;
        }
        token.end = i;
        token.depth = depth;
        if (c == '(' && token.kind == Token::Kind::Symbol)
            ++depth;
        tokens.push_back(token);
    }
    return tokens;
}

bool isWord(std::string_view text, const Token& token, std::string_view word)
{
    if (token.kind != Token::Kind::Word || token.end - token.begin != word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[token.begin + i])) != word[i])
            return false;
    return true;
}

bool isCompoundWord(std::string_view text, const Token& token)
{
    return isWord(text, token, "UNION") || isWord(text, token, "INTERSECT") || isWord(text, token, "EXCEPT");
}

struct Edit {
    std::size_t begin; // the bytes [begin, end) become text
    std::size_t end;
    std::string text;
};

} // namespace

bool translateJetCommand(std::string_view command, std::string& sqlite, TextFault& fault)
{
    fault = {};
    const std::vector<Token> tokens = tokenize(command);
    std::vector<Edit> edits;
    for (std::size_t s = 0; s < tokens.size(); ++s) {
        if (!isWord(command, tokens[s], "SELECT"))
            continue;
        std::size_t t = s + 1;
        if (t < tokens.size() && (isWord(command, tokens[t], "DISTINCT") || isWord(command, tokens[t], "ALL")))
            ++t;
        if (t + 1 >= tokens.size() || !isWord(command, tokens[t], "TOP") || tokens[t + 1].kind != Token::Kind::Number)
            continue;
        const Token& top = tokens[t];
        const Token& count = tokens[t + 1];
        if (t + 2 < tokens.size() && isWord(command, tokens[t + 2], "PERCENT")) {
            fault.message = "TOP n PERCENT is not supported; use TOP n";
            fault.position = top.begin + 1;
            return false;
        }
        const int depth = tokens[s].depth;
        const bool afterCompound = s > 0
            && (isCompoundWord(command, tokens[s - 1])
                || (s > 1 && isWord(command, tokens[s - 1], "ALL") && isCompoundWord(command, tokens[s - 2])));
        // The select runs to the ')' or ';' that ends its level, or to a compound operator; the
        // ORDER BY after a compound's last part orders the whole compound, so it stays outside.
        std::size_t last = t + 1;
        bool beforeCompound = false;
        for (std::size_t k = t + 2; k < tokens.size(); ++k) {
            const Token& token = tokens[k];
            if (token.depth < depth)
                break;
            if (token.depth == depth) {
                const char first = command[token.begin];
                if (token.kind == Token::Kind::Symbol && first == ';')
                    break;
                if (isCompoundWord(command, token)) {
                    beforeCompound = true;
                    break;
                }
                if (afterCompound && isWord(command, token, "ORDER"))
                    break;
            }
            last = k;
        }
        const std::string limit = " LIMIT " + std::string(command.substr(count.begin, count.end - count.begin));
        edits.push_back({ top.begin, count.end, {} });
        if (afterCompound || beforeCompound) {
            edits.push_back({ tokens[s].begin, tokens[s].begin, "SELECT * FROM (" });
            edits.push_back({ tokens[last].end, tokens[last].end, limit + ")" });
        } else {
            edits.push_back({ tokens[last].end, tokens[last].end, limit });
        }
    }
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    sqlite.clear();
    sqlite.reserve(command.size() + edits.size() * 24);
    std::size_t at = 0;
    for (const Edit& edit : edits) {
        sqlite.append(command.substr(at, edit.begin - at));
        sqlite += edit.text;
        at = std::max(at, edit.end);
    }
    sqlite.append(command.substr(at));
    return true;
}

} // namespace vl
