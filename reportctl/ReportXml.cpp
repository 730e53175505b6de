#include "ReportXml.h"
#include "ReportXml_p.h"

#include <algorithm>

namespace vl {

void lineAndColumn(std::string_view text, std::ptrdiff_t offset, int& line, int& column)
{
    const size_t end = std::min(text.size(), static_cast<size_t>(std::max<std::ptrdiff_t>(offset, 0)));
    line = 1;
    column = 1;
    for (size_t i = 0; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && i + 1 < end && text[i + 1] == '\n')
                ++i;
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column; // continuation bytes belong to the character before
        }
    }
}

QString positionMessage(const QString& what, const QString& reason, int line, int column)
{
    return QStringLiteral("%1: %2 at line %3, column %4").arg(what, reason).arg(line).arg(column);
}

QString topLevelProblem(const pugi::xml_document& document, pugi::xml_node& where)
{
    int elements = 0;
    for (const pugi::xml_node& node : document.children()) {
        where = node;
        switch (node.type()) {
        case pugi::node_doctype:
            return QStringLiteral("document type declarations are not allowed");
        case pugi::node_element:
            if (++elements > 1)
                return QStringLiteral("more than one root element");
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            if (!QString::fromUtf8(node.value()).trimmed().isEmpty())
                return QStringLiteral("text outside the root element");
            break;
        default:
            break;
        }
    }
    return {};
}

std::ptrdiff_t markupStart(std::string_view text, std::ptrdiff_t offset)
{
    std::ptrdiff_t at = std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(text.size()) - 1);
    while (at > 0 && text[static_cast<size_t>(at)] != '<') {
        if (text[static_cast<size_t>(at)] == '>')
            return offset; // text between tags points at itself
        --at;
    }
    return at >= 0 && text[static_cast<size_t>(at)] == '<' ? at : offset;
}

} // namespace vl
