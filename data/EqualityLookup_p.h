#pragma once
// Keys of the equality look-ups that the data layer's virtual tables answer from a map built by
// one scan of a table: two values SQLite holds equal always have the same key, so the rows of a
// key are every row an equality can accept (and a few more, which SQLite drops as it checks the
// equality again). Private to the data layer.

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace vl
{

// A number by its value as a double: an integer equals a real only when the double is the same.
inline std::string numberLookupKey(double value)
{
    if (value == 0)
        value = 0; // -0 equals 0
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// A text with its ASCII letters in lower case: the same key for BINARY and NOCASE equals.
inline std::string textLookupKey(std::string_view text)
{
    std::string key(text);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// True when the equality's collation (from sqlite3_vtab_collation) is one whose equal texts share
// a textLookupKey: BINARY and NOCASE; null stands for BINARY.
inline bool lookupServesCollation(const char* collation)
{
    return !collation || sqlite3_stricmp(collation, "BINARY") == 0 || sqlite3_stricmp(collation, "NOCASE") == 0;
}

// Offers SQLite the first usable equality on a column that `servable` (given the column's index)
// accepts, under a collation the look-up serves, as the scan's one look-up: idxNum is the column
// plus one and the value comes as the first argument; SQLite checks each row again. False when no
// equality qualifies, leaving `info` as it was.
template <class Servable>
bool offerEqualityLookup(sqlite3_index_info* info, std::size_t columns, Servable servable)
{
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (!constraint.usable || constraint.op != SQLITE_INDEX_CONSTRAINT_EQ || constraint.iColumn < 0
            || static_cast<std::size_t>(constraint.iColumn) >= columns
            || !servable(static_cast<std::size_t>(constraint.iColumn))
            || !lookupServesCollation(sqlite3_vtab_collation(info, i)))
            continue;
        info->aConstraintUsage[i].argvIndex = 1;
        info->aConstraintUsage[i].omit = 0;
        info->idxNum = constraint.iColumn + 1;
        info->estimatedCost = 10;
        info->estimatedRows = 10;
        return true;
    }
    return false;
}

} // namespace vl
