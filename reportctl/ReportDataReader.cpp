#include "ReportData.h"

#include "ReportData_p.h"

#include "LargePages.h"
#include "ReportXml_p.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <future>
#include <string>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vl {

namespace {

const QString DataWhat = QStringLiteral("Data document");

// Why and where (in UTF-16 units of the text) a document is refused.
struct Refusal {
    QString reason;
    std::ptrdiff_t offset;
};

constexpr std::u16string_view MasterIdxName = u"__MasterIdx";

QString qs(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

// A name or value as a message quotes it: a hostile document's name may be as long as the document.
QString shown(std::u16string_view text)
{
    constexpr std::size_t MaxShown = 80;
    if (text.size() <= MaxShown)
        return qs(text);
    std::size_t cut = MaxShown;
    if (QChar::isHighSurrogate(text[cut - 1]))
        --cut;
    return qs(text.substr(0, cut)) + QChar(0x2026);
}

bool isSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Names as a permissive reader takes them: ASCII letters, "_" and ":" to begin, digits, "-" and "." too
// after that, and every unit beyond ASCII.
constexpr std::array<unsigned char, 128> nameTable()
{
    std::array<unsigned char, 128> table {};
    for (int c = 'a'; c <= 'z'; ++c)
        table[static_cast<std::size_t>(c)] = 3;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[static_cast<std::size_t>(c)] = 3;
    table['_'] = table[':'] = 3;
    for (int c = '0'; c <= '9'; ++c)
        table[static_cast<std::size_t>(c)] = 2;
    table['-'] = table['.'] = 2;
    return table;
}
constexpr auto NameTable = nameTable();

bool isNameStart(char16_t c) { return c >= 0x80 || (NameTable[c] & 1) != 0; }
bool isNameChar(char16_t c) { return c >= 0x80 || (NameTable[c] & 2) != 0; }

bool sameUnits(const char16_t* a, const char16_t* b, std::size_t count)
{
    for (; count >= 4; count -= 4, a += 4, b += 4) {
        std::uint64_t x, y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        if (x != y)
            return false;
    }
    for (; count > 0; --count)
        if (*a++ != *b++)
            return false;
    return true;
}

bool same(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && sameUnits(a.data(), b.data(), a.size());
}

} // namespace

// Reads the document in one pass over its UTF-16 text, checking that it is well formed and noting
// where each row's values start; then builds the data set from the blocks it met, in the order of
// the checks that depend on the whole document (which block is the master, which master row a detail
// row names). Refusals are thrown as Refusal.
class DataDocumentReader {
public:
    // Reads `text`, which must outlive the reader and the shapes it makes (see rebase).
    DataDocumentReader(ParsedData& parsed, QStringView text)
        : m_parsed(parsed), m_begin(text.utf16()), m_end(m_begin + text.size()), m_p(m_begin)
    {
    }

    void scan();
    ReportDataSet build();

private:
    static constexpr std::size_t EstimateAfterRows = 256;
    // Bounds on what hostile documents make beside their rows (see docs/data-document.md).
    static constexpr std::size_t MaxShapesBase = std::size_t{1} << 16;
    static constexpr std::size_t UnitsPerShape = 32;
    static constexpr std::size_t MaxGroupsBase = std::size_t{1} << 22;
    static constexpr std::size_t UnitsPerGroup = 4;
    static constexpr std::size_t MaxMasterIdxUnits = 256;
    struct Block {
        std::u16string_view name;
        std::uint32_t at; // its "<"
        std::vector<DataRow> rows; // its Row elements
        std::vector<std::uint32_t> rowAt; // each row's "<"
        std::vector<RowShape*> shapes; // in the order they were met
        // The first element among the rows that is no Row, and how many rows came before it.
        bool hasStray = false;
        std::size_t strayAfter = 0;
        std::uint32_t strayAt = 0;
        std::u16string_view strayName;
    };

    [[noreturn]] void refuse(const char16_t* at, const QString& reason) const { throw Refusal{reason, at - m_begin}; }
    std::uint32_t offset(const char16_t* at) const { return static_cast<std::uint32_t>(at - m_begin); }

    const char16_t* skipName(const char16_t* p) const
    {
        while (p < m_end && isNameChar(*p))
            ++p;
        return p;
    }
    const char16_t* skipSpace(const char16_t* p) const
    {
        while (p < m_end && isSpace(*p))
            ++p;
        return p;
    }
    const char16_t* pastReference(const char16_t* amp) const;
    const char16_t* scanText(const char16_t* p) const;
    const char16_t* scanValue(const char16_t* p, char16_t quote) const;
    const char16_t* find(std::u16string_view what, const char16_t* from) const;
    void refuseText(const char16_t* begin, const char16_t* end) const;
    void startTag(const char16_t* lt);
    void endTag();
    void declaration(const char16_t* lt);
    void addRow(const char16_t* lt);
    const RowShape* findShape(Block& block, const char16_t* lt);
    void finishShapes(Block& block, std::vector<QString>& names, bool skipMasterIdx) const;
    int masterIndex(const Block& block, std::size_t row, std::size_t masterCount) const;

    ParsedData& m_parsed;
    const char16_t* const m_begin;
    const char16_t* const m_end;
    const char16_t* m_p;
    bool m_rootSeen = false;
    std::vector<std::u16string_view> m_open; // names of the open elements, the root first
    std::deque<Block> m_blocks;
    // The row being read: its attributes' names and where their values start.
    std::vector<std::u16string_view> m_names;
    std::vector<std::uint32_t> m_values;
    const RowShape* m_lastShape = nullptr; // of the block being read
    std::size_t m_matched = 0; // how many of the row's first attributes are named as in m_lastShape
    std::unordered_map<std::u16string, RowShape*> m_shapeIndex; // of the block being read, by the names joined
    std::size_t m_detailBlocks = 0;
};

const char16_t* DataDocumentReader::pastReference(const char16_t* amp) const
{
    // No entity is declared, so none but the predefined ones and character references can be meant.
    const char16_t* const limit = m_end - amp > 34 ? amp + 34 : m_end;
    const char16_t* const semicolon = std::find(amp + 1, limit, u';');
    if (semicolon == limit)
        refuse(amp, QStringLiteral("\"&\" begins no entity or character reference"));
    const std::u16string_view name(amp + 1, static_cast<std::size_t>(semicolon - amp - 1));
    if (!allowedReference(name))
        refuse(amp, QStringLiteral("the entity reference \"&%1;\" is not allowed (only &amp;, &lt;, &gt;, &quot;, "
                                   "&apos; and character references are)")
                        .arg(qs(name)));
    return semicolon + 1;
}

// To the next "<" or the end, every reference on the way checked.
const char16_t* DataDocumentReader::scanText(const char16_t* p) const
{
    for (;;) {
        while (p < m_end && *p != u'<' && *p != u'&')
            ++p;
        if (p == m_end || *p == u'<')
            return p;
        p = pastReference(p);
    }
}

// To the closing quote, every reference on the way checked. Values are most of the document, so
// eight units are looked at a time.
const char16_t* DataDocumentReader::scanValue(const char16_t* p, char16_t quote) const
{
    const char16_t* const begin = p;
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi16(static_cast<short>(quote));
    const __m128i amps = _mm_set1_epi16('&');
    while (m_end - p >= 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(chunk, quotes), _mm_cmpeq_epi16(chunk, amps))));
        if (mask == 0) {
            p += 8;
            continue;
        }
        p += __builtin_ctz(mask) / 2;
        if (*p == quote)
            return p;
        p = pastReference(p);
    }
#endif
    for (; p < m_end; ++p) {
        if (*p == quote)
            return p;
        if (*p == u'&')
            p = pastReference(p) - 1;
    }
    refuse(begin, QStringLiteral("Error parsing element attribute"));
}

const char16_t* DataDocumentReader::find(std::u16string_view what, const char16_t* from) const
{
    const std::u16string_view rest(from, static_cast<std::size_t>(m_end - from));
    const std::size_t at = rest.find(what);
    return at == std::u16string_view::npos ? nullptr : from + at;
}

void DataDocumentReader::refuseText(const char16_t* begin, const char16_t* end) const
{
    const char16_t* const text = std::find_if(begin, end, [](char16_t c) { return !isSpace(c); });
    if (text != end)
        refuse(text, QStringLiteral("text outside the root element"));
}

void DataDocumentReader::scan()
{
    if (m_p < m_end && *m_p == 0xFEFF)
        ++m_p;
    for (;;) {
        const char16_t* const text = m_p;
        m_p = scanText(m_p);
        if (m_open.empty())
            refuseText(text, m_p);
        if (m_p == m_end)
            break;
        const char16_t* const lt = m_p++;
        if (m_p == m_end)
            refuse(lt, QStringLiteral("Could not determine tag type"));
        if (*m_p == u'/') {
            endTag();
        } else if (*m_p == u'?') {
            if (++m_p == m_end || !isNameStart(*m_p))
                refuse(lt, QStringLiteral("Error parsing document declaration/processing instruction"));
            const char16_t* const close = find(u"?>", m_p);
            if (!close)
                refuse(lt, QStringLiteral("Error parsing document declaration/processing instruction"));
            m_p = close + 2;
        } else if (*m_p == u'!') {
            declaration(lt);
        } else if (isNameStart(*m_p)) {
            startTag(lt);
        } else {
            refuse(lt, QStringLiteral("Could not determine tag type"));
        }
    }
    if (!m_open.empty())
        refuse(m_end, QStringLiteral("Start-end tags mismatch"));
    if (!m_rootSeen)
        refuse(m_end, QStringLiteral("No document element"));
}

void DataDocumentReader::declaration(const char16_t* lt)
{
    const std::u16string_view rest(lt, static_cast<std::size_t>(m_end - lt));
    if (rest.starts_with(u"<!--")) {
        const char16_t* const close = find(u"-->", lt + 4);
        if (!close)
            refuse(lt, QStringLiteral("Error parsing comment"));
        m_p = close + 3;
    } else if (rest.starts_with(u"<![CDATA[")) {
        const char16_t* const close = find(u"]]>", lt + 9);
        if (!close)
            refuse(lt, QStringLiteral("Error parsing CDATA section"));
        if (m_open.empty())
            refuseText(lt + 9, close);
        m_p = close + 3;
    } else if (rest.starts_with(u"<!DOCTYPE")) {
        // Refused, so no entity is ever declared, expanded or fetched.
        refuse(lt, QStringLiteral("document type declarations are not allowed"));
    } else {
        refuse(lt, QStringLiteral("Could not determine tag type"));
    }
}

void DataDocumentReader::startTag(const char16_t* lt)
{
    const char16_t* p = m_p;
    const char16_t* const nameBegin = p;
    p = skipName(p);
    const std::u16string_view name(nameBegin, static_cast<std::size_t>(p - nameBegin));
    const std::size_t depth = m_open.size();
    bool isRow = false;
    if (depth == 0) {
        if (m_rootSeen)
            refuse(lt, QStringLiteral("more than one root element"));
        m_rootSeen = true;
        if (name != u"DocumentData")
            refuse(lt, QStringLiteral("the root element is <%1>, expected <DocumentData>").arg(shown(name)));
    } else if (depth >= static_cast<std::size_t>(MaxElementDepth)) {
        refuse(lt, QStringLiteral("elements are nested deeper than %1 levels").arg(MaxElementDepth));
    } else if (depth == 1) {
        if (name != u"Master" && ++m_detailBlocks > MaxDetailBlocks)
            refuse(lt, QStringLiteral("more than %1 detail blocks").arg(MaxDetailBlocks));
        m_blocks.push_back(Block{name, offset(lt), {}, {}, {}, false, 0, 0, {}});
        m_lastShape = nullptr;
        m_shapeIndex.clear();
    } else if (depth == 2) {
        Block& block = m_blocks.back();
        isRow = name == u"Row";
        if (!isRow && !block.hasStray) {
            block.hasStray = true;
            block.strayAfter = block.rows.size();
            block.strayAt = offset(lt);
            block.strayName = name;
        }
    }
    m_names.clear();
    m_values.clear();
    m_matched = 0;
    bool selfClosing = false;
    for (;;) {
        const char16_t* const afterPrevious = p;
        p = skipSpace(p);
        if (p == m_end)
            refuse(p, QStringLiteral("Error parsing start element tag"));
        if (*p == u'>') {
            ++p;
            break;
        }
        if (*p == u'/') {
            if (m_end - p < 2 || p[1] != u'>')
                refuse(p, QStringLiteral("Error parsing start element tag"));
            p += 2;
            selfClosing = true;
            break;
        }
        if (p == afterPrevious || !isNameStart(*p))
            refuse(p, QStringLiteral("Error parsing element attribute"));
        const char16_t* const attributeBegin = p;
        // A row mostly names what the row before it named: that name is compared where it stands
        // instead of being scanned unit by unit.
        const std::size_t index = m_values.size();
        if (isRow && m_lastShape && m_matched == index && index < m_lastShape->attributes.size()) {
            const std::u16string_view expected = m_lastShape->attributes[index];
            if (static_cast<std::size_t>(m_end - p) > expected.size() && sameUnits(p, expected.data(), expected.size())
                && !isNameChar(p[expected.size()])) {
                p += expected.size();
                ++m_matched;
            } else {
                p = skipName(p);
            }
        } else {
            p = skipName(p);
        }
        const std::u16string_view attribute(attributeBegin, static_cast<std::size_t>(p - attributeBegin));
        if (m_end - p >= 2 && p[0] == u'=' && (p[1] == u'"' || p[1] == u'\'')) {
            ++p; // the writer's spelling
        } else {
            p = skipSpace(p);
            if (p == m_end || *p != u'=')
                refuse(p, QStringLiteral("Error parsing element attribute"));
            p = skipSpace(p + 1);
            if (p == m_end || (*p != u'"' && *p != u'\''))
                refuse(p, QStringLiteral("Error parsing element attribute"));
        }
        const char16_t quote = *p++;
        if (isRow) {
            m_names.push_back(attribute);
            m_values.push_back(offset(p));
        }
        p = scanValue(p, quote) + 1;
    }
    m_p = p;
    if (isRow)
        addRow(lt);
    if (!selfClosing)
        m_open.push_back(name);
}

void DataDocumentReader::endTag()
{
    const char16_t* p = m_p + 1;
    if (p == m_end || !isNameStart(*p))
        refuse(p, QStringLiteral("Error parsing end element tag"));
    const char16_t* const nameBegin = p;
    p = skipName(p);
    if (m_open.empty() || !same(m_open.back(), std::u16string_view(nameBegin, static_cast<std::size_t>(p - nameBegin))))
        refuse(nameBegin, QStringLiteral("Start-end tags mismatch"));
    p = skipSpace(p);
    if (p == m_end || *p != u'>')
        refuse(p, QStringLiteral("Error parsing end element tag"));
    m_p = p + 1;
    m_open.pop_back();
}

void DataDocumentReader::addRow(const char16_t* lt)
{
    Block& block = m_blocks.back();
    DataRow row;
    if (!m_names.empty()) {
        // Neighbouring rows mostly have the same shape.
        const RowShape* shape = m_lastShape;
        if (!shape || shape->attributes.size() != m_names.size() || m_matched != m_names.size())
            shape = m_lastShape = findShape(block, lt);
        row.m_shape = shape;
        std::uint32_t* const values = m_parsed.values.take(m_values.size());
        std::copy(m_values.begin(), m_values.end(), values);
        row.m_values = values;
    }
    if (block.rows.size() == EstimateAfterRows) {
        // Room for as many rows as the rest of the text holds at the length of the first ones, so
        // that a large block is not copied each time its vectors double. Room never used costs
        // address space only; a longer block grows as without a guess.
        const double perRow = static_cast<double>(lt - (m_begin + block.at)) / EstimateAfterRows;
        const double rest = static_cast<double>(m_end - lt) / std::max(perRow, 1.0);
        const auto room = block.rows.size() + static_cast<std::size_t>(std::min(rest * 1.05, 1e9));
        block.rows.reserve(room);
        block.rowAt.reserve(room);
        adviseLargePages(block.rows.data() + block.rows.size(), (room - block.rows.size()) * sizeof(DataRow));
        adviseLargePages(block.rowAt.data() + block.rowAt.size(), (room - block.rowAt.size()) * sizeof(std::uint32_t));
    }
    block.rows.push_back(std::move(row));
    block.rowAt.push_back(offset(lt));
}

const RowShape* DataDocumentReader::findShape(Block& block, const char16_t* lt)
{
    std::u16string key;
    for (const std::u16string_view name : m_names) {
        key += name;
        key += u'\0'; // no name holds it
    }
    if (const auto found = m_shapeIndex.find(key); found != m_shapeIndex.end())
        return found->second;
    // Only a new shape can hold a name twice: a row of a known shape names what that shape names.
    std::unordered_set<std::u16string_view> seen(m_names.size() * 2);
    for (const std::u16string_view name : m_names)
        if (!seen.insert(name).second)
            refuse(name.data(), QStringLiteral("the attribute \"%1\" appears twice in the row").arg(shown(name)));
    // Each shape costs some hundred bytes beside the names it shares with the text; rows that name
    // other attributes each time are bounded by the text's size so that memory is.
    if (m_parsed.shapes.size() >= MaxShapesBase + static_cast<std::size_t>(m_end - m_begin) / UnitsPerShape)
        refuse(lt, QStringLiteral("more than %1 different sets of attributes among the rows").arg(m_parsed.shapes.size()));
    RowShape& shape = m_parsed.shapes.emplace_back();
    shape.text = m_begin;
    shape.attributes = m_names;
    const auto masterIdx = std::find(m_names.begin(), m_names.end(), MasterIdxName);
    if (masterIdx != m_names.end())
        shape.masterIdx = static_cast<int>(masterIdx - m_names.begin());
    block.shapes.push_back(&shape);
    m_shapeIndex.emplace(std::move(key), &shape);
    return &shape;
}

// The fields of the block's shapes, and its field names in order of first appearance (one per name
// without letter case). Shapes share one string per spelling.
void DataDocumentReader::finishShapes(Block& block, std::vector<QString>& names, bool skipMasterIdx) const
{
    struct Spelling {
        QString name;
        std::size_t hash;
        std::size_t foldedHash;
    };
    std::unordered_map<std::u16string_view, Spelling> spellings;
    std::unordered_set<std::u16string> folded;
    for (RowShape* shape : block.shapes) {
        shape->names.reserve(shape->attributes.size());
        shape->positions.reserve(shape->attributes.size());
        for (std::uint32_t position = 0; position < shape->attributes.size(); ++position) {
            const std::u16string_view name = shape->attributes[position];
            if (skipMasterIdx && name == MasterIdxName)
                continue;
            const auto [spelling, isNew] = spellings.try_emplace(name);
            if (isNew) {
                std::u16string key = foldedName(name);
                spelling->second = {qs(name), nameHash(name), nameHash(key)};
                if (folded.insert(std::move(key)).second)
                    names.push_back(spelling->second.name);
            }
            shape->names.push_back(spelling->second.name);
            shape->positions.push_back(position);
        }
        if (shape->names.size() >= IndexedFrom) {
            shape->spelt.reserve(shape->names.size());
            shape->folded.reserve(shape->names.size());
            for (std::uint32_t field = 0; field < shape->names.size(); ++field) {
                const Spelling& spelling = spellings.at(shape->attributes[shape->positions[field]]);
                shape->spelt.emplace_back(spelling.hash, field);
                shape->folded.emplace_back(spelling.foldedHash, field);
            }
            std::sort(shape->spelt.begin(), shape->spelt.end());
            std::sort(shape->folded.begin(), shape->folded.end());
        }
    }
}

// Position of the detail row's master row, read from its __MasterIdx attribute (none: refused); the
// writer puts plain decimal digits there.
int DataDocumentReader::masterIndex(const Block& block, std::size_t row, std::size_t masterCount) const
{
    const DataRow& data = block.rows[row];
    const char16_t* const at = m_begin + block.rowAt[row];
    if (!data.m_shape || data.m_shape->masterIdx < 0)
        refuse(at, QStringLiteral("detail row without __MasterIdx"));
    const ValueText value = valueAt(*data.m_shape, data.m_values, static_cast<std::uint32_t>(data.m_shape->masterIdx));
    const std::size_t length = static_cast<std::size_t>(value.end - value.begin);
    if (length > 0 && length <= 9 && std::all_of(value.begin, value.end, [](char16_t c) { return c >= '0' && c <= '9'; })) {
        std::size_t index = 0;
        for (const char16_t* p = value.begin; p < value.end; ++p)
            index = index * 10 + static_cast<std::size_t>(*p - '0');
        if (index < masterCount)
            return static_cast<int>(index);
    }
    // Read no further than a number can run, so that a huge value is neither copied nor quoted whole.
    if (length > MaxMasterIdxUnits)
        refuse(at, QStringLiteral("__MasterIdx=\"%1\" names no master row (there are %2)")
                       .arg(shown(std::u16string_view(value.begin, length)))
                       .arg(masterCount));
    const QString text = toQString(value);
    bool ok = false;
    const int index = text.toInt(&ok);
    if (!ok || index < 0 || static_cast<size_t>(index) >= masterCount || text.trimmed() != text)
        refuse(at, QStringLiteral("__MasterIdx=\"%1\" names no master row (there are %2)").arg(text).arg(masterCount));
    return index;
}

ReportDataSet DataDocumentReader::build()
{
    ReportDataSet data;
    const auto master = std::find_if(m_blocks.begin(), m_blocks.end(), [](const Block& b) { return b.name == u"Master"; });
    data.hasMaster = master != m_blocks.end();
    if (data.hasMaster) {
        finishShapes(*master, data.masterFieldNames, false);
        if (master->hasStray)
            refuse(m_begin + master->strayAt,
                   QStringLiteral("<%1> found where <Row> was expected").arg(shown(master->strayName)));
        data.masterRows = std::move(master->rows);
    }
    // Each detail keeps a group per master row, even an empty one: their number is bounded by the
    // text's size, as the rows are, and checked before any is made.
    if (data.hasMaster && !data.masterRows.empty()) {
        const std::size_t maxGroups = MaxGroupsBase + static_cast<std::size_t>(m_end - m_begin) / UnitsPerGroup;
        std::size_t allowed = maxGroups / data.masterRows.size();
        for (const Block& block : m_blocks)
            if (&block != &*master && allowed-- == 0)
                refuse(m_begin + block.at,
                       QStringLiteral("too many detail blocks for %1 master rows (each holds a group per master row)")
                           .arg(data.masterRows.size()));
    }
    std::unordered_set<std::u16string> ids;
    for (auto block = m_blocks.begin(); block != m_blocks.end(); ++block) {
        if (block == master)
            continue;
        if (block->name == u"Master")
            refuse(m_begin + block->at, QStringLiteral("a second <Master> block"));
        if (!ids.insert(foldedName(block->name)).second)
            refuse(m_begin + block->at, QStringLiteral("detail block <%1> appears twice").arg(shown(block->name)));
        DetailTable table;
        table.id = qs(block->name);
        finishShapes(*block, table.fieldNames, data.hasMaster);
        if (data.hasMaster) {
            table.groups.resize(data.masterRows.size());
            const std::size_t rows = block->hasStray ? block->strayAfter : block->rows.size();
            for (std::size_t row = 0; row < rows; ++row)
                table.groups[static_cast<std::size_t>(masterIndex(*block, row, data.masterRows.size()))].push_back(
                    static_cast<int>(row));
        }
        if (block->hasStray)
            refuse(m_begin + block->strayAt,
                   QStringLiteral("<%1> found where <Row> was expected").arg(shown(block->strayName)));
        table.rows = std::move(block->rows);
        data.details.push_back(std::move(table));
    }
    return data;
}

namespace {

ParseResult refused(const Refusal& refusal, QStringView xml)
{
    // Columns count from after a byte-order mark, as an editor shows the text.
    std::ptrdiff_t offset = refusal.offset;
    if (!xml.empty() && xml.front() == QChar(0xFEFF) && offset > 0) {
        xml = xml.mid(1);
        --offset;
    }
    int line = 0, column = 0;
    lineAndColumn(xml, offset, line, column);
    return ParseResult::failure(positionMessage(DataWhat, refusal.reason, line, column), line, column);
}

// The shapes of a document read from one place, moved to the copy of its text at `text`.
void rebase(std::deque<RowShape>& shapes, const char16_t* from, const char16_t* text)
{
    for (RowShape& shape : shapes) {
        shape.text = text;
        for (std::u16string_view& name : shape.attributes)
            name = std::u16string_view(text + (name.data() - from), name.size());
    }
}

// Whether the replaced document's storage can take a text of `size` units: nothing else holds it
// and it is about the size (a report reloaded with fresh data mostly is). A large document is then
// copied into memory already in use instead of fresh pages, which cost more than the copy.
bool storageReusable(const ReportDataSet& replaced, qsizetype size)
{
    if (!replaced.parsed || replaced.parsed.use_count() != 1)
        return false;
    const QString& storage = replaced.parsed->text;
    return storage.isDetached() && storage.capacity() >= size && storage.capacity() <= size + size / 2;
}

// A copy of the text in fresh storage, on large pages where it is large enough for them.
QString copyOf(QStringView xml)
{
    QString copy(xml.size(), Qt::Uninitialized);
    adviseLargePages(copy.data(), static_cast<std::size_t>(xml.size()) * sizeof(QChar));
    std::copy(xml.begin(), xml.end(), copy.begin());
    return copy;
}

// From this size on, a copy into fresh pages runs on a thread of its own while the text is read:
// on the large document the faults of the new pages take about as long as the reading.
constexpr qsizetype CopyAlongsideFrom = qsizetype(1) << 20;

// The copy of `xml`, made on another thread when it is large; a copy made here when no thread can
// be started. The text must stay unchanged until the copy is taken.
std::future<QString> startCopy(QStringView xml)
{
    if (xml.size() >= CopyAlongsideFrom) {
        try {
            return std::async(std::launch::async, [xml] { return copyOf(xml); });
        } catch (const std::system_error&) {
        }
    }
    std::promise<QString> done;
    done.set_value(copyOf(xml));
    return done.get_future();
}

// A document beyond the limit is refused before anything is allocated for it.
ParseResult tooLarge(qsizetype size, const char* units)
{
    return ParseResult::failure(QStringLiteral("%1: %2 %3 are more than the largest document read (%4 characters)")
                                    .arg(DataWhat)
                                    .arg(size)
                                    .arg(QLatin1String(units))
                                    .arg(MaxDataDocumentChars));
}

} // namespace

ParseResult parseDataDocument(const QString& xml, ReportDataSet& out)
{
    if (xml.size() > MaxDataDocumentChars)
        return tooLarge(xml.size(), "characters");
    auto parsed = std::make_shared<ParsedData>();
    parsed->text = xml;
    try {
        DataDocumentReader reader(*parsed, parsed->text);
        reader.scan();
        ReportDataSet data = reader.build();
        data.parsed = std::move(parsed);
        out = std::move(data);
        return {};
    } catch (const Refusal& refusal) {
        return refused(refusal, xml);
    }
}

ParseResult parseDataDocument(QStringView xml, ReportDataSet& out)
{
    if (xml.size() > MaxDataDocumentChars)
        return tooLarge(xml.size(), "characters");
    // Read where it stands; copied once it is taken, or alongside the reading into fresh storage.
    const bool reuse = storageReusable(out, xml.size());
    std::future<QString> copy;
    if (!reuse)
        copy = startCopy(xml);
    auto parsed = std::make_shared<ParsedData>();
    ReportDataSet data;
    try {
        DataDocumentReader reader(*parsed, xml);
        reader.scan();
        data = reader.build();
    } catch (const Refusal& refusal) {
        if (copy.valid())
            copy.wait(); // it reads the caller's text, which may go once this returns
        return refused(refusal, xml);
    }
    if (reuse) {
        QString text = std::move(out.parsed->text);
        out = ReportDataSet{};
        text.resize(xml.size());
        std::copy(xml.begin(), xml.end(), text.begin());
        parsed->text = std::move(text);
    } else {
        parsed->text = copy.get();
    }
    rebase(parsed->shapes, xml.utf16(), reinterpret_cast<const char16_t*>(parsed->text.constData()));
    data.parsed = std::move(parsed);
    out = std::move(data);
    return {};
}

ParseResult parseDataDocument(std::string_view xml, ReportDataSet& out)
{
    if (static_cast<std::size_t>(xml.size()) > static_cast<std::size_t>(MaxDataDocumentChars))
        return tooLarge(static_cast<qsizetype>(xml.size()), "bytes");
    // A UTF-16 text handed over as bytes would read as a document of replacement characters.
    if (xml.starts_with("\xFF\xFE") || xml.starts_with("\xFE\xFF"))
        return ParseResult::failure(positionMessage(DataWhat,
                                                    QStringLiteral("the document begins with a UTF-16 byte-order "
                                                                   "mark, but it is read as UTF-8"),
                                                    1, 1),
                                    1, 1);
    return parseDataDocument(QString::fromUtf8(xml.data(), static_cast<qsizetype>(xml.size())), out);
}

ParseResult parseDataDocument(const char* xml, ReportDataSet& out)
{
    // Never looked at past the limit, however far the text runs.
    const std::size_t length = xml ? strnlen(xml, static_cast<std::size_t>(MaxDataDocumentChars) + 1) : 0;
    return parseDataDocument(std::string_view(xml ? xml : "", length), out);
}

} // namespace vl
