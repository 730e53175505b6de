#pragma once
// pugixml helpers shared by the template and data document readers.

#include <pugixml.hpp>

#include <QString>

#include <string_view>

namespace vl {

// Why the document's top level is refused (a document type declaration, a second root element, text
// outside the root), with the node to point at; an empty reason when it is sound.
QString topLevelProblem(const pugi::xml_document& document, pugi::xml_node& where);

// The offset of the "<" that opens the markup around `offset`, so positions name the tag, not its name;
// `offset` itself when it lies in text between tags.
std::ptrdiff_t markupStart(std::string_view text, std::ptrdiff_t offset);

} // namespace vl
