#include "ReportXml.h"
#include "ReportXml_p.h"

#include <algorithm>
#include <cstring>

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

void lineAndColumn(QStringView text, std::ptrdiff_t offset, int& line, int& column)
{
    const auto end = std::min(text.size(), static_cast<qsizetype>(std::max<std::ptrdiff_t>(offset, 0)));
    line = 1;
    column = 1;
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == '\r' || unit == '\n') {
            if (unit == '\r' && i + 1 < end && text[i + 1] == u'\n')
                ++i;
            ++line;
            column = 1;
        } else if (!QChar::isLowSurrogate(unit) || i == 0 || !QChar::isHighSurrogate(text[i - 1].unicode())) {
            ++column; // the second unit of a pair belongs to the character before
        }
    }
}

QString positionMessage(const QString& what, const QString& reason, int line, int column)
{
    // One pass: a reason may quote the document, and a "%1" in it must stay as written.
    return QStringLiteral("%1: %2 at line %3, column %4").arg(what, reason, QString::number(line), QString::number(column));
}

namespace {

// The first of c in [from, end), or end.
const char* nextOf(char c, const char* from, const char* end)
{
    const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return found ? static_cast<const char*>(found) : end;
}

// Past the first `close` at or after from, or end when it never comes (the parser then names the fault).
const char* pastClose(std::string_view close, const char* from, const char* end)
{
    const std::string_view rest(from, static_cast<std::size_t>(end - from));
    const size_t at = rest.find(close);
    return at == std::string_view::npos ? end : from + at + close.size();
}

} // namespace

QString markupProblem(std::string_view xml, std::ptrdiff_t& offset)
{
    // Only "&", "<!" and "<?" matter, and all three are rare in a data document: each is found by a
    // fast search of its own, and they are taken in document order.
    const char* const begin = xml.data();
    const char* const end = begin + xml.size();
    const char* amp = nextOf('&', begin, end);
    const char* bang = nextOf('!', begin, end);
    const char* query = nextOf('?', begin, end);
    const char* from = begin;
    for (;;) {
        if (amp < from)
            amp = nextOf('&', from, end);
        if (bang < from)
            bang = nextOf('!', from, end);
        if (query < from)
            query = nextOf('?', from, end);
        const char* at = std::min({amp, bang, query});
        if (at == end)
            return {};
        if (at == amp) {
            const char* const limit = std::min(end, at + 34);
            const char* semicolon = nextOf(';', at + 1, limit);
            offset = at - begin;
            if (semicolon == limit)
                return QStringLiteral("\"&\" begins no entity or character reference");
            const std::string_view name(at + 1, static_cast<std::size_t>(semicolon - at - 1));
            if (!allowedReference(name))
                return QStringLiteral("the entity reference \"&%1;\" is not allowed (only &amp;, &lt;, &gt;, "
                                      "&quot;, &apos; and character references are)")
                    .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
            from = semicolon + 1;
            continue;
        }
        if (at == begin || at[-1] != '<') {
            from = at + 1; // "!" or "?" in text or in a value
            continue;
        }
        const std::string_view rest(at, static_cast<std::size_t>(end - at));
        if (at == query) {
            from = pastClose("?>", at + 1, end);
        } else if (rest.starts_with("!--")) {
            from = pastClose("-->", at + 3, end);
        } else if (rest.starts_with("![CDATA[")) {
            from = pastClose("]]>", at + 8, end);
        } else if (rest.starts_with("!DOCTYPE")) {
            offset = at - 1 - begin;
            return QStringLiteral("document type declarations are not allowed");
        } else {
            from = at + 1; // any other "<!" is the parser's to refuse
        }
    }
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
    // Depth first through the tree by its own links: no recursion, however deep the nesting.
    const pugi::xml_node root = document.document_element();
    int depth = 0;
    for (pugi::xml_node node = root; node;) {
        if (const pugi::xml_node child = node.first_child()) {
            if (++depth >= MaxElementDepth) {
                where = child;
                return QStringLiteral("elements are nested deeper than %1 levels").arg(MaxElementDepth);
            }
            node = child;
            continue;
        }
        while (node != root && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        node = node == root ? pugi::xml_node() : node.next_sibling();
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
