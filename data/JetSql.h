#pragma once
// The command texts a report needs on a Jet file, parsed and run over a table read whole:
//   select * | column [, column...] from table
//     [where comparison {and|or} ...] [order by column [asc|desc] [, ...]] [;]
// Comparisons are column op literal (=, <>, !=, <, <=, >, >=), literal op column, column is [not]
// null, not and parentheses. Names compare without regard to case and may stand in brackets.
// Ordering is typed: numbers and dates by value, text without regard to case, nulls first
// (last when descending), rows of equal keys in table order.
// Parentheses and `not` nest at most MaxConditionNesting deep; a deeper condition is a syntax
// error at the '(' or `not` that goes too deep. A chain of `and`/`or` is one node whatever its
// length, so parsing, running and destroying a condition recurse only as deep as it nests.

#include "Provider.h"

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

struct ParseResult {
    std::optional<SelectStatement> statement;
    std::string message; // empty on success
    std::size_t position = 0; // 1-based position of the fault
    explicit operator bool() const { return message.empty(); }
};

// Never throws: a fault is the result's message and 1-based byte position.
ParseResult parseSelect(std::string_view text);

// Runs the statement over table (the whole table, in storage order): the result holds the
// selected columns of the matching rows in the statement's order and keeps table alive.
// Raises EOleException for a column the table lacks or a literal of the wrong type, naming
// its position.
std::unique_ptr<ProviderResult> runSelect(
    const SelectStatement& statement, std::shared_ptr<const ProviderResult> table);

} // namespace vl::jetsql
