#pragma once
// Jet's command forms that SQLite spells otherwise, rewritten before SQLite prepares the text.
// Names in brackets, quoted strings and comments pass through untouched: SQLite reads [names]
// itself, blanks and non-ASCII letters included.

#include "TextFault.h"

#include <string>
#include <string_view>

namespace vl
{

// The command text as SQLite takes it: Jet's `TOP n` after SELECT [DISTINCT] becomes a LIMIT;
// quoted strings, [names] and comments are left alone. False with a TextFault (1-based position)
// for a form SQLite has no equal of (TOP n PERCENT); sqlite is then unspecified.
// A TOP on one part of a UNION limits that part alone (it becomes a subquery there). LIMIT n
// returns exactly n rows, where Jet would add the rows tied with the last on the ORDER BY.
bool translateJetCommand(std::string_view command, std::string& sqlite, TextFault& fault);

} // namespace vl
