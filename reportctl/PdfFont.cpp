#include "PdfFont_p.h"

#include <hb-subset.h>
#include <hb.h>

#include <QtEndian>

#include <algorithm>
#include <memory>
#include <vector>

namespace vl {
namespace {

// What a PDF reader needs of an embedded font; hinting and layout tables are left out, the glyphs
// being placed already.
constexpr const char* TrueTypeTables[] = {"OS/2", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "post"};
constexpr const char* CffTables[] = {"CFF ", "OS/2", "cmap", "head", "hhea", "hmtx", "maxp", "post"};

quint32 tagOf(const char* name)
{
    return (quint32(quint8(name[0])) << 24) | (quint32(quint8(name[1])) << 16) | (quint32(quint8(name[2])) << 8)
         | quint32(quint8(name[3]));
}

// Qt hands out a font's tables, not its file (which may be one face of a collection): the tables are
// put together again as a font file of their own for HarfBuzz.
QByteArray sfntFromTables(const QRawFont& font, bool cff)
{
    std::vector<std::pair<quint32, QByteArray>> tables;
    const auto& list = cff ? CffTables : TrueTypeTables;
    for (const char* name : list) {
        QByteArray data = font.fontTable(name);
        if (!data.isEmpty())
            tables.emplace_back(tagOf(name), std::move(data));
    }
    const quint16 count = static_cast<quint16>(tables.size());
    quint16 power = 1, log2 = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log2;
    }
    QByteArray out(12 + 16 * count, '\0');
    char* head = out.data();
    qToBigEndian<quint32>(cff ? tagOf("OTTO") : 0x00010000u, head);
    qToBigEndian<quint16>(count, head + 4);
    qToBigEndian<quint16>(static_cast<quint16>(power * 16), head + 6);
    qToBigEndian<quint16>(log2, head + 8);
    qToBigEndian<quint16>(static_cast<quint16>(count * 16 - power * 16), head + 10);
    for (size_t i = 0; i < tables.size(); ++i) {
        const QByteArray& data = tables[i].second;
        quint32 sum = 0;
        QByteArray padded = data;
        padded.append((4 - data.size() % 4) % 4, '\0');
        for (qsizetype at = 0; at < padded.size(); at += 4)
            sum += qFromBigEndian<quint32>(padded.constData() + at);
        char* record = out.data() + 12 + 16 * i;
        qToBigEndian<quint32>(tables[i].first, record);
        qToBigEndian<quint32>(sum, record + 4);
        qToBigEndian<quint32>(static_cast<quint32>(out.size()), record + 8);
        qToBigEndian<quint32>(static_cast<quint32>(data.size()), record + 12);
        out.append(padded);
    }
    return out;
}

struct HbDeleter {
    void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
    void operator()(hb_face_t* face) const { hb_face_destroy(face); }
    void operator()(hb_subset_input_t* input) const { hb_subset_input_destroy(input); }
};
template <class T>
using HbPtr = std::unique_ptr<T, HbDeleter>;

} // namespace

PdfFont::PdfFont(const QRawFont& font) : m_font(font)
{
    m_font.setPixelSize(1000);
    m_cff = m_font.fontTable("glyf").isEmpty() && !m_font.fontTable("CFF ").isEmpty();
    for (const QChar c : m_font.familyName() + m_font.styleName())
        if (c.unicode() < 128 && c.isLetterOrNumber())
            m_baseName += static_cast<char>(c.unicode());
    if (m_baseName.isEmpty())
        m_baseName = "Font";
    m_ascent = m_font.ascent();
    m_descent = -m_font.descent();
    const QByteArray head = m_font.fontTable("head");
    if (head.size() >= 54) {
        const double unitsPerEm = qFromBigEndian<quint16>(head.constData() + 18);
        const auto at = [&](int offset) { return qFromBigEndian<qint16>(head.constData() + offset) * 1000.0 / unitsPerEm; };
        if (unitsPerEm > 0)
            m_box = QRectF(QPointF(at(36), at(38)), QPointF(at(40), at(42)));
    }
    if (m_box.isNull())
        m_box = QRectF(QPointF(0, m_descent), QPointF(1000, m_ascent));
}

void PdfFont::use(quint32 glyph, QStringView text)
{
    if (glyph >= m_used.size())
        m_used.resize(glyph + 1024, false);
    if (!m_used[glyph]) {
        m_used[glyph] = true;
        m_glyphs.emplace(glyph, text.toString());
    }
}

QByteArray PdfFont::subset(QString& error) const
{
    const QByteArray file = sfntFromTables(m_font, m_cff);
    HbPtr<hb_blob_t> blob(hb_blob_create(file.constData(), static_cast<unsigned>(file.size()), HB_MEMORY_MODE_READONLY,
                                         nullptr, nullptr));
    HbPtr<hb_face_t> face(hb_face_create(blob.get(), 0));
    HbPtr<hb_subset_input_t> input(hb_subset_input_create_or_fail());
    if (!input) {
        error = QStringLiteral("out of memory");
        return {};
    }
    hb_set_t* glyphs = hb_subset_input_glyph_set(input.get());
    hb_set_add(glyphs, 0);
    for (const auto& [glyph, text] : m_glyphs)
        hb_set_add(glyphs, glyph);
    // Content streams name glyphs by their ids in the whole font, so the ids stay.
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING
                                               | HB_SUBSET_FLAGS_DESUBROUTINIZE);
    HbPtr<hb_face_t> cut(hb_subset_or_fail(face.get(), input.get()));
    if (!cut) {
        error = QStringLiteral("the font \"%1\" could not be subset").arg(m_font.familyName());
        return {};
    }
    HbPtr<hb_blob_t> result(hb_face_reference_blob(cut.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(result.get(), &length);
    return QByteArray(data, static_cast<qsizetype>(length));
}

} // namespace vl
