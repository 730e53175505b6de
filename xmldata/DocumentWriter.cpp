#include "DocumentWriter_p.h"

#include "CommaText.h"
#include "Text.h"

#include <array>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vl {
namespace {

constexpr std::size_t BufferSize = 64 * 1024;
// The longest replacement, "&quot;", bounds how much one value byte can grow.
constexpr std::size_t MaxEscapedLength = 6;
// Room beyond an escaped value's longest form, for a last block written whole.
constexpr std::size_t ChunkSlack = 16;

struct Escape {
    const char* text = nullptr; // null: the byte stands for itself
    std::size_t length = 0;
};

constexpr std::array<Escape, 256> escapeTable()
{
    std::array<Escape, 256> table {};
    table['<'] = { "&lt;", 4 };
    table['>'] = { "&gt;", 4 };
    table['&'] = { "&amp;", 5 };
    table['"'] = { "&quot;", 6 };
    return table;
}
constexpr auto EscapeTable = escapeTable();

// A name goes into the document unescaped; these characters would let it open or close an
// element or end an attribute value, and so forge markup. The apostrophe counts too: a field
// named  a='x' b  would give every row an attribute that the data do not have.
bool forgesMarkup(std::string_view name) { return name.find_first_of("<>&\"'") != std::string_view::npos; }

// XML's EncName: the declaration holds the label unescaped, and a reader refuses any other.
bool isEncodingName(std::string_view name)
{
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (name.empty() || !letter(name.front()))
        return false;
    for (char c : name.substr(1))
        if (!letter(c) && !digit(c) && c != '.' && c != '_' && c != '-')
            return false;
    return true;
}

std::string ofDataSet(const TDataSet* dataSet)
{
    return dataSet->Name().empty() ? std::string() : " of " + dataSet->Name();
}

std::vector<TField*> relationFields(const TDataSet* dataSet, const std::vector<std::string>& relationList,
                                    bool nameParts)
{
    std::vector<TField*> fields;
    fields.reserve(relationList.size());
    for (const auto& item : relationList)
        fields.push_back(dataSet->FieldNamed(nameParts ? relationNamePart(item) : relationValuePart(item)));
    return fields;
}

// Keys take ValueText directly: the value handler must never change how rows relate.
void buildKey(const std::vector<TField*>& fields, std::string& key)
{
    if (fields.size() == 1)
        return fields.front()->assignValueText(key);
    key.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            key.push_back('\t');
        key += fields[i]->ValueText();
    }
}

} // namespace

DocumentWriter::DocumentWriter(TXMLDataSource& source, OutputStream& stream)
    : m_source(source), m_stream(stream), m_buffer(new char[BufferSize])
{
}

void DocumentWriter::write()
{
    try {
        for (const auto& [id, detail] : m_source.m_details)
            if (forgesMarkup(id))
                throw Exception("DetailID '" + id + "'" + ofDataSet(detail->DataSet)
                                + " cannot be written to the data document");
        if (!m_source.m_encoding.empty() && !isEncodingName(m_source.m_encoding))
            throw Exception("Encoding '" + m_source.m_encoding
                            + "' is not an XML encoding name: a letter followed by letters, digits, dots,"
                              " underscores or hyphens");
        if (!m_source.m_encoding.empty()) {
            emit("<?xml version=\"1.0\" encoding=\"");
            emit(m_source.m_encoding);
            emit("\"?>");
        }
        // A closed data set fails where the walk reaches it, after what comes before it was written.
        auto rowsOf = [](const TDataSet* dataSet) {
            return dataSet && dataSet->Active() ? static_cast<std::size_t>(dataSet->RecordCount()) : 0;
        };
        m_rowsTotal += rowsOf(m_source.m_master);
        for (const auto& entry : m_source.m_details)
            m_rowsTotal += rowsOf(entry.second->DataSet);
        if (m_source.m_onProgress)
            m_source.m_onProgress(0, m_rowsTotal);
        emit("<DocumentData>");
        if (m_source.m_master)
            writeWithMaster();
        else
            writeWithoutMaster();
        emit("</DocumentData>");
        if (m_source.m_onProgress)
            m_source.m_onProgress(m_rowsDone, m_rowsTotal);
    } catch (...) {
        try {
            flush();
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    flush();
}

void DocumentWriter::writeWithoutMaster()
{
    for (const auto& [id, detail] : m_source.m_details) {
        TDataSet* dataSet = detail->DataSet;
        dataSet->First();
        const std::vector<Column> columns = columnsOf(dataSet, detail->FieldList);
        emitTag("<", id);
        while (!dataSet->AtEnd()) {
            emit("<Row");
            emitAttributes(columns);
            emit("/>");
            rowWalked();
            dataSet->Next();
        }
        emitTag("</", id);
    }
}

void DocumentWriter::writeWithMaster()
{
    auto& details = m_source.m_details;
    for (auto& entry : details)
        entry.second->keyList.clear();

    TDataSet* master = m_source.m_master;
    master->First();
    const std::vector<Column> masterColumns = columnsOf(master, m_source.m_masterFieldList);
    // Looked up at the first master row, so that a wrong name fails where a per-row lookup would.
    std::vector<std::vector<TField*>> masterKeyFields;
    masterKeyFields.reserve(details.size());
    std::string key;
    emit("<Master>");
    while (!master->AtEnd()) {
        emit("<Row");
        emitAttributes(masterColumns);
        emit("/>");
        for (std::size_t d = 0; d < details.size(); ++d) {
            TDetailInfo& detail = *details[d].second;
            if (masterKeyFields.size() == d)
                masterKeyFields.push_back(relationFields(master, detail.relationList, true));
            buildKey(masterKeyFields[d], key);
            detail.keyList.append(key);
        }
        rowWalked();
        master->Next();
    }
    emit("</Master>");

    for (const auto& [id, detail] : details) {
        TDataSet* dataSet = detail->DataSet;
        dataSet->First();
        const std::vector<Column> columns = columnsOf(dataSet, detail->FieldList);
        emitTag("<", id);
        std::vector<TField*> keyFields;
        bool keyFieldsFound = false;
        while (!dataSet->AtEnd()) {
            if (!keyFieldsFound) {
                keyFields = relationFields(dataSet, detail->relationList, false);
                keyFieldsFound = true;
            }
            buildKey(keyFields, key);
            const int position = detail->keyList.find(key);
            if (position >= 0) {
                char digits[16];
                const auto end = std::to_chars(digits, digits + sizeof digits, position).ptr;
                emit("<Row __MasterIdx=\"");
                emit(std::string_view(digits, static_cast<std::size_t>(end - digits)));
                emit('"');
                emitAttributes(columns);
                emit("/>");
            }
            rowWalked();
            dataSet->Next();
        }
        emitTag("</", id);
    }
}

// The filter is the same for every row of a pass, so which fields pass is decided once.
std::vector<DocumentWriter::Column> DocumentWriter::columnsOf(TDataSet* dataSet, std::string_view fieldList) const
{
    const std::vector<std::string> filter = splitFieldList(fieldList);
    std::vector<Column> columns;
    const int count = dataSet->FieldCount();
    for (int i = 0; i < count; ++i) {
        TField* field = dataSet->FieldAt(i);
        const std::string& name = field->FieldName();
        bool passes = filter.empty();
        for (std::size_t k = 0; !passes && k < filter.size(); ++k)
            passes = sameText(filter[k], name);
        if (!passes)
            continue;
        if (forgesMarkup(name))
            throw Exception("Field name '" + name + "'" + ofDataSet(dataSet)
                            + " cannot be written to the data document");
        columns.push_back(Column { field, " " + name + "=\"" });
    }
    return columns;
}

void DocumentWriter::emitAttributes(const std::vector<Column>& columns)
{
    std::string& value = m_source.m_currentValue;
    for (const Column& column : columns) {
        m_source.DoGetFieldValue(column.field, value);
        const std::size_t room = column.prefix.size() + value.size() * MaxEscapedLength + 1 + ChunkSlack;
        if (room > BufferSize - m_used) {
            emit(column.prefix);
            emitValue(value);
            emit('"');
            continue;
        }
        char* out = m_buffer.get() + m_used;
        std::memcpy(out, column.prefix.data(), column.prefix.size());
        // A string's storage holds its capacity and the terminating null.
        out = escapeInto(out + column.prefix.size(), value, value.capacity() + 1);
        *out++ = '"';
        m_used = static_cast<std::size_t>(out - m_buffer.get());
    }
}

void DocumentWriter::emitTag(std::string_view open, std::string_view name)
{
    emit(open);
    emit(name);
    emit('>');
}

void DocumentWriter::emit(std::string_view text)
{
    if (text.size() > BufferSize - m_used) {
        flush();
        if (text.size() > BufferSize) {
            m_stream.write(text.data(), text.size());
            return;
        }
    }
    std::memcpy(m_buffer.get() + m_used, text.data(), text.size());
    m_used += text.size();
}

void DocumentWriter::emit(char c)
{
    if (m_used == BufferSize)
        flush();
    m_buffer[m_used++] = c;
}

void DocumentWriter::emitValue(std::string_view value)
{
    if (value.size() * MaxEscapedLength > BufferSize - m_used) {
        flush();
        if (value.size() * MaxEscapedLength > BufferSize) {
            // Rare: a value longer than a buffer's worth goes in pieces.
            const std::size_t piece = BufferSize / MaxEscapedLength;
            for (std::size_t start = 0; start < value.size(); start += piece)
                emitValue(value.substr(start, piece));
            return;
        }
    }
    m_used = static_cast<std::size_t>(escapeInto(m_buffer.get() + m_used, value, value.size()) - m_buffer.get());
}

// Most values are short and hold no markup character: they are copied in blocks of sixteen
// bytes with no call, and the rest byte by byte. out has room for value.size() * MaxEscapedLength.
// Where `readable` (at least value.size()) lets sixteen bytes be read at the last part of a value,
// and out has ChunkSlack more bytes of room, that part goes as one block too, the bytes beyond the
// value left out of the test and overwritten later.
char* DocumentWriter::escapeInto(char* out, std::string_view value, std::size_t readable)
{
    static_cast<void>(readable); // without SSE2 every byte goes one by one
    const char* in = value.data();
    const char* const end = in + value.size();
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>'), amp = _mm_set1_epi8('&'), quot = _mm_set1_epi8('"');
    while (end - in >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lt), _mm_cmpeq_epi8(chunk, gt)),
                                             _mm_or_si128(_mm_cmpeq_epi8(chunk, amp), _mm_cmpeq_epi8(chunk, quot)));
        const int mask = _mm_movemask_epi8(special);
        if (mask == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
            in += 16;
            out += 16;
            continue;
        }
        const int plain = __builtin_ctz(static_cast<unsigned>(mask));
        // The whole chunk fits: sixteen bytes of room are there, the first `plain` of them count.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
        in += plain;
        out += plain;
        const Escape& escape = EscapeTable[static_cast<unsigned char>(*in++)];
        std::memcpy(out, escape.text, escape.length);
        out += escape.length;
    }
    if (in < end && static_cast<std::size_t>(in - value.data()) + 16 <= readable) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, lt), _mm_cmpeq_epi8(chunk, gt)),
                                             _mm_or_si128(_mm_cmpeq_epi8(chunk, amp), _mm_cmpeq_epi8(chunk, quot)));
        const auto remaining = static_cast<unsigned>(end - in);
        if ((static_cast<unsigned>(_mm_movemask_epi8(special)) & ((1u << remaining) - 1)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
            return out + remaining;
        }
    }
#endif
    for (; in < end; ++in) {
        const Escape& escape = EscapeTable[static_cast<unsigned char>(*in)];
        if (!escape.text) {
            *out++ = *in;
        } else {
            std::memcpy(out, escape.text, escape.length);
            out += escape.length;
        }
    }
    return out;
}

void DocumentWriter::flush()
{
    if (m_used == 0)
        return;
    const std::size_t used = m_used;
    m_used = 0;
    m_flushed += used;
    m_stream.write(m_buffer.get(), used);
}

void DocumentWriter::estimateTotal()
{
    if (m_rowsDone == 0 || m_rowsTotal <= m_rowsDone)
        return;
    // A twentieth more than the rows so far predict: rows of later data sets or later values may
    // be longer; a short guess costs one more growth of the stream, as without a guess.
    const double perRow = static_cast<double>(m_flushed + m_used) / static_cast<double>(m_rowsDone);
    const double total = perRow * static_cast<double>(m_rowsTotal) * 1.05 + BufferSize;
    if (total < 1e15)
        m_stream.expectTotal(static_cast<std::size_t>(total));
}

} // namespace vl
