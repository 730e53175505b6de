#pragma once
// One face of a PDF being written: the glyphs its pages use, what text each stands for, and the
// embedded subset of the face made from them when the document ends. Widths belong to each size
// the face is used at (PdfWriter.cpp), since Qt lays glyphs out with advances of the size.

#include <QByteArray>
#include <QHash>
#include <QRawFont>
#include <QString>

#include <map>
#include <vector>

namespace vl {

class PdfFont {
public:
    // `font` at any pixel size; the glyph ids written into content streams are its own.
    explicit PdfFont(const QRawFont& font);

    // Records that a page shows `glyph` for `text`; the first text recorded for a glyph stays.
    void use(quint32 glyph, QStringView text);
    void use(quint32 glyph, QChar text) { use(glyph, QStringView(&text, 1)); }

    bool isCff() const { return m_cff; }
    // The font's name for the PDF, ASCII, without the subset tag.
    const QByteArray& baseName() const { return m_baseName; }
    // Ascent, descent and bounding box in thousandths of the em.
    double ascent() const { return m_ascent; }
    double descent() const { return m_descent; }
    const QRectF& boundingBox() const { return m_box; }
    const std::map<quint32, QString>& glyphs() const { return m_glyphs; }

    // The font program cut down to the glyphs used, glyph ids kept; empty with `error` set when the
    // font's tables cannot be read or cut.
    QByteArray subset(QString& error) const;

private:
    QRawFont m_font; // at 1000 pixels: metrics in thousandths of the em
    std::map<quint32, QString> m_glyphs;
    std::vector<bool> m_used; // by glyph id: m_glyphs has it
    QByteArray m_baseName;
    bool m_cff = false;
    double m_ascent = 800, m_descent = -200;
    QRectF m_box;
};

} // namespace vl
