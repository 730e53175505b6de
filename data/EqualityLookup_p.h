#pragma once
// Keys of the equality look-ups that the data layer's virtual tables answer from a map built by
// one scan of a table: two values SQLite holds equal always have the same key, so the rows of a
// key are every row an equality can accept (and a few more, which SQLite drops as it checks the
// equality again). Private to the data layer.

#include <sqlite3.h>

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

} // namespace vl
