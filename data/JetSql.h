#pragma once
// The command texts a report needs on a Jet file (see JetSqlParser.h), run over a table read whole.
// Names compare without regard to case. Ordering is typed: numbers and dates by value, text
// without regard to case, nulls first (last when descending), rows of equal keys in table order.
// Running recurses only as deep as the condition nests (at most MaxConditionNesting).

#include "JetSqlParser.h"
#include "Provider.h"

#include <memory>

namespace vl::jetsql
{

// Runs the statement over table (the whole table, in storage order): the result holds the
// selected columns of the matching rows in the statement's order and keeps table alive.
// Raises EOleException for a column the table lacks or a literal of the wrong type, naming
// its position.
std::unique_ptr<ProviderResult> runSelect(
    const SelectStatement& statement, std::shared_ptr<const ProviderResult> table);

} // namespace vl::jetsql
