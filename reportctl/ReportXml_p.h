#pragma once
// pugixml helpers of the template reader; the depth limit bounds the data document reader too.

#include <pugixml.hpp>

#include <QString>

#include <algorithm>
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

// Whether "&name;" is a reference a document may hold: one of the five predefined entities, or a
// decimal or hexadecimal character reference. The template's UTF-8 text and the data document's
// UTF-16 text ask alike.
template <class Char>
bool allowedReference(std::basic_string_view<Char> name)
{
    const auto is = [&](std::string_view ascii) {
        return std::equal(name.begin(), name.end(), ascii.begin(), ascii.end(), [](Char a, char b) { return a == Char(b); });
    };
    if (is("amp") || is("lt") || is("gt") || is("quot") || is("apos"))
        return true;
    if (name.size() < 2 || name[0] != Char('#'))
        return false;
    const bool hex = name[1] == Char('x');
    const std::basic_string_view<Char> digits = name.substr(hex ? 2 : 1);
    if (digits.empty())
        return false;
    return std::all_of(digits.begin(), digits.end(), [&](Char c) {
        const bool decimal = c >= Char('0') && c <= Char('9');
        return decimal || (hex && ((c >= Char('a') && c <= Char('f')) || (c >= Char('A') && c <= Char('F'))));
    });
}

// The offset of the "<" that opens the markup around `offset`, so positions name the tag, not its name;
// `offset` itself when it lies in text between tags.
std::ptrdiff_t markupStart(std::string_view text, std::ptrdiff_t offset);

} // namespace vl
