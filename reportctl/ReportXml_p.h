#pragma once
// pugixml helpers of the template reader; the depth limit bounds the data document reader too.

#include <pugixml.hpp>

#include <QString>

#include <string_view>

namespace vl {

// Elements nested deeper than this are refused, so no reader ever walks a tree deep enough to matter.
inline constexpr int MaxElementDepth = 1000;

// Why the raw text is refused before it is parsed: a document type declaration (so no entity is ever
// declared, expanded or fetched), an entity reference other than the five predefined ones, an "&" that
// begins no reference. Comments, CDATA sections and processing instructions are passed over. Sets
// `offset` to the byte to point at; an empty reason when the text is sound. One pass, no allocation.
QString markupProblem(std::string_view xml, std::ptrdiff_t& offset);

// Why the parsed document is refused (a document type declaration, a second root element, text outside
// the root, elements nested deeper than MaxElementDepth), with the node to point at; an empty reason
// when it is sound. Walks the tree without recursion.
QString topLevelProblem(const pugi::xml_document& document, pugi::xml_node& where);

// The offset of the "<" that opens the markup around `offset`, so positions name the tag, not its name;
// `offset` itself when it lies in text between tags.
std::ptrdiff_t markupStart(std::string_view text, std::ptrdiff_t offset);

} // namespace vl
