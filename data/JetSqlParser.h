#pragma once
// The command texts a report needs on a Jet file, parsed into a statement tree (JetSql.h runs it):
//   select * | column [, column...] from table
//     [where comparison {and|or} ...] [order by column [asc|desc] [, ...]] [;]
// Comparisons are column op literal (=, <>, !=, <, <=, >, >=), literal op column, column is [not]
// null, not and parentheses. Names may stand in brackets and may be qualified by the table.
// Parentheses and `not` nest at most MaxConditionNesting deep; a deeper condition is a syntax
// error at the '(' or `not` that goes too deep. A chain of `and`/`or` is one node whatever its
// length, so parsing, running and destroying a condition recurse only as deep as it nests.

#include "TextFault.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl::jetsql
{

inline constexpr std::size_t MaxConditionNesting = 256;

struct Name {
    std::string text;
    std::size_t position = 0; // 1-based byte position in the command text
};

struct Literal {
    enum class Kind { Null, Number, Text, Date, Boolean };
    Kind kind = Kind::Null;
    std::string text; // Number: its digits as written; Text: the value
    double date = 0; // Date: day number
    bool flag = false;
    std::size_t position = 0;
};

struct Condition {
    enum class Kind { Compare, IsNull, IsNotNull, And, Or, Not };
    enum class Op { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
    Kind kind = Kind::Compare;
    Op op = Op::Equal;
    Name column;
    Literal literal;
    // And/Or: two or more, in the order written (a chain of one operator is one node); Not: one.
    std::vector<std::unique_ptr<Condition>> operands;
};

struct OrderItem {
    Name column;
    bool descending = false;
};

struct SelectStatement {
    bool allColumns = false;
    std::vector<Name> columns;
    Name table;
    std::unique_ptr<Condition> where; // null: every row
    std::vector<OrderItem> orderBy;
};

struct ParseResult : TextFault {
    std::optional<SelectStatement> statement;
};

// Never throws: a fault is the result's message and 1-based byte position.
ParseResult parseSelect(std::string_view text);

// Day number of a date literal's text: the ISO forms of stored dates, or month/day/year with an
// optional time; nullopt when it is neither. The evaluator reads text compared with a date column so.
std::optional<double> parseDateLiteral(std::string_view text);

} // namespace vl::jetsql
