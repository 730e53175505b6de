#pragma once
// The comma-text rule that splits relations and field lists into items.

#include <string>
#include <string_view>
#include <vector>

namespace vl {

// Splits text into items: separators are commas and the characters 1 to 32; a double-quoted
// item keeps its separators and reads a doubled quote as one. An unclosed quote takes the rest
// of the text as its item. Never fails.
std::vector<std::string> splitCommaText(std::string_view text);

// The item list of a field list: every blank (and only the blank) removed first, then split.
std::vector<std::string> splitFieldList(std::string_view fieldList);

// Name and value parts of a relation item "Master=Detail". Without "=" the name part is empty
// and the value part is the item without its first character.
std::string_view relationNamePart(std::string_view item);
std::string_view relationValuePart(std::string_view item);

} // namespace vl
