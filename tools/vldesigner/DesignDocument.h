#pragma once
// A template open in the designer: its XML tree, with every element, attribute and comment kept as read,
// and the engine's reading of it, which the canvas paints with the engine's own painter. Every edit is
// one command on the undo stack; after each the tree is read again, so what the canvas shows is what
// the engine would print.

#include "ReportTemplate.h"
#include "ReportXml.h"

#include <QObject>
#include <QRectF>
#include <QUndoStack>

#include <pugixml.hpp>

#include <utility>
#include <vector>

namespace vl::designer {

// A <cell>, <image>, <barcode> or <chart> of a band.
struct DesignItem {
    pugi::xml_node node; // its element; stable while the element lives
    QRectF rect; // mm from its band's top left; a height left out is the band's height less y
    TemplateCell cell; // the engine's reading of it, for painting (its text is the text as written)
};

struct DesignBand {
    pugi::xml_node node;
    BandKind kind = BandKind::Title;
    QString label; // as the canvas names the strip: "Title", "Detail (Detail)", "Group header (Master by [..])"
    double height = 0; // mm, as designed
    std::vector<DesignItem> items; // in document order
};

struct DesignSheet {
    pugi::xml_node node;
    QString name;
    PageSetup page;
    std::vector<DesignBand> bands; // in print order: title, page header, group headers, master, detail
                                   // header, detail, detail footer, group footers, summary, page footer
};

// One attribute change: name and new text; an empty text removes the attribute. The name TextAttribute
// stands for the element's text (a cell's or a barcode's content), which then replaces all its children.
inline constexpr char TextAttribute[] = "#text";

struct AttributeChange {
    pugi::xml_node node;
    QString name;
    QString value;
};

class DesignDocument : public QObject {
    Q_OBJECT
public:
    DesignDocument();
    ~DesignDocument() override;

    // Reads a template. A text the engine refuses leaves the document as it was and answers the engine's
    // message with its line and column.
    ParseResult open(const QString& path);
    ParseResult setText(const QByteArray& xml); // a new, unnamed document (tests, File > New)
    // Writes the tree as it stands, atomically; the file is untouched on failure. Marks the stack clean.
    bool save(const QString& path, QString& error);
    QByteArray text() const;
    QString path() const; // empty until opened or saved
    bool isModified() const;
    QUndoStack& undoStack();

    const std::vector<DesignSheet>& sheets() const; // rebuilt after every edit, undo and redo
    const ReportTemplate& model() const;

    // Edits. Each is one undoable command that takes effect at once and emits changed(); an edit that would
    // make the template unreadable is not made, and its reason is returned (empty: made). Lengths are mm.
    QString changeAttributes(const std::vector<AttributeChange>& changes, const QString& what);
    QString moveItems(const std::vector<pugi::xml_node>& items, double dx, double dy);
    QString setGeometry(pugi::xml_node item, const QRectF& rect);
    QString setBandHeight(pugi::xml_node band, double height);
    QString removeElements(const std::vector<pugi::xml_node>& nodes);
    // Inserts elements given as XML text (a copied selection or a new cell) at the end of a band; answers
    // the new elements.
    std::vector<pugi::xml_node> insertElements(pugi::xml_node band, const QByteArray& fragment, QString& reason);
    QByteArray copyElements(const std::vector<pugi::xml_node>& nodes) const;

    QString addSheet(const QString& name);
    QString renameSheet(int index, const QString& name);
    QString removeSheet(int index);
    QString moveSheet(int from, int to);
    QString setPageSetup(int sheet, const PageSetup& page);

signals:
    void changed();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

// A length as the designer writes it: at most two decimals, no trailing zeros ("12.5", "10").
QString lengthText(double millimetres);

} // namespace vl::designer
