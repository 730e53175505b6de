#include "DesignCanvas.h"

#include "CanvasGraphics.h"
#include "ReportPainter.h"
#include "Ruler.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace vl::designer
{

namespace
{

// The canvas's own clipboard format: the XML of DesignDocument::copyElements.
constexpr char ElementsMimeType[] = "application/x-vldesigner-elements";

constexpr int Margin = 12; // pixels around the sheet
constexpr int Gutter = 140; // pixels for the band names left of the strips
constexpr int HandleSize = 7;
constexpr int EdgeGrip = 3; // pixels either side of a band's lower edge that grab it
constexpr double MinZoom = 0.25;
constexpr double MaxZoom = 8;
constexpr double MinBandHeight = 1;
constexpr double PasteOffset = 2; // mm right and down, so a pasted copy does not hide its original
constexpr double FieldCellWidth = 30;
constexpr double FieldCellHeight = 6;

double snapped(double millimetres)
{
    return std::round(millimetres);
}
double hundredths(double millimetres)
{
    return std::round(millimetres * 100) / 100;
}

// Which edges of the rect a handle moves.
struct Handle {
    bool left = false, top = false, right = false, bottom = false;
};
constexpr Handle Handles[8] = { { true, true, false, false }, { false, true, false, false },
    { false, true, true, false }, { false, false, true, false }, { false, false, true, true },
    { false, false, false, true }, { true, false, false, true }, { true, false, false, false } };

Qt::CursorShape handleCursor(int handle)
{
    static constexpr Qt::CursorShape shapes[8] = { Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor,
        Qt::SizeHorCursor, Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor };
    return shapes[handle];
}

bool isItemElement(pugi::xml_node node)
{
    const std::string_view name = node.name();
    return name == "cell" || name == "image" || name == "barcode" || name == "chart";
}

} // namespace

// Takes the viewport's and the canvas's events, so the canvas's public header needs no overrides.
class DesignCanvas::Impl : public QObject
{
public:
    Impl(DesignCanvas& canvas, DesignDocument& document)
        : q(canvas)
        , document(document)
        , topRuler(new Ruler(Qt::Horizontal, &canvas))
        , leftRuler(new Ruler(Qt::Vertical, &canvas))
    {
    }

    // An item of the current sheet with where its band starts.
    struct Found {
        const DesignBand* band = nullptr;
        const DesignItem* item = nullptr;
        double bandTop = 0; // mm from the first band's top
        QRectF rect; // mm in its band, its height resolved
    };

    enum class Drag { None, Move, Resize, BandHeight, Rubber };

    // An edit the document would not make (it would leave a template the engine refuses) is told, not lost.
    void refused(const QString& reason)
    {
        if (!reason.isEmpty())
            emit q.editRefused(reason);
    }

    DesignCanvas& q;
    DesignDocument& document;
    Ruler* topRuler;
    Ruler* leftRuler;
    int sheetIndex = 0;
    double zoomFactor = 1;
    std::vector<pugi::xml_node> selection;
    pugi::xml_node lastBand; // the band of the last click, where a paste goes without a selection

    // The current sheet as painted: one page of all bands' items, the first band's top at y 0.
    LaidOutPage page;
    std::vector<double> bandTops;
    CanvasGraphics graphics;

    Drag drag = Drag::None;
    bool dragStarted = false;
    QPointF pressPoint; // viewport pixels
    pugi::xml_node dragNode; // the item pressed on (Move, Resize) or the band (BandHeight)
    QRectF dragRect; // the item's rect in its band when pressed
    int dragHandle = -1;
    QPointF dragDelta; // mm, Move
    QRectF resizedRect; // mm, Resize
    double bandHeight = 0; // mm, BandHeight
    QRect rubber; // viewport pixels
    std::vector<pugi::xml_node> rubberBase;

    double pixelsPerMm() const { return zoomFactor * 96.0 / 25.4; }

    const DesignSheet* sheet() const
    {
        const auto& sheets = document.sheets();
        if (sheets.empty())
            return nullptr;
        return &sheets[static_cast<size_t>(std::clamp(sheetIndex, 0, static_cast<int>(sheets.size()) - 1))];
    }

    double stripWidth() const
    {
        const DesignSheet* current = sheet();
        if (!current)
            return 0;
        const PageSetup& setup = current->page;
        return std::max(0.0, setup.paper.width() - setup.marginLeft - setup.marginRight);
    }

    double totalHeight() const
    {
        const DesignSheet* current = sheet();
        return current && !current->bands.empty() ? bandTops.back() + current->bands.back().height : 0;
    }

    // The first band's top left corner in viewport pixels.
    QPointF origin() const
    {
        return QPointF(Margin + Gutter - q.horizontalScrollBar()->value(), Margin - q.verticalScrollBar()->value());
    }

    QPointF toViewport(double bandTop, QPointF millimetres) const
    {
        const double scale = pixelsPerMm();
        return origin() + QPointF(millimetres.x() * scale, (bandTop + millimetres.y()) * scale);
    }

    QRectF toViewport(double bandTop, const QRectF& rect) const
    {
        const double scale = pixelsPerMm();
        return QRectF(toViewport(bandTop, rect.topLeft()), rect.size() * scale);
    }

    static QRectF itemRect(const DesignBand& band, const DesignItem& item)
    {
        QRectF rect = item.rect;
        if (rect.height() <= 0)
            rect.setHeight(std::max(0.0, band.height - rect.y()));
        return rect;
    }

    int bandIndex(pugi::xml_node node) const
    {
        const DesignSheet* current = sheet();
        if (!current || !node)
            return -1;
        for (size_t index = 0; index < current->bands.size(); ++index)
            if (current->bands[index].node == node)
                return static_cast<int>(index);
        return -1;
    }

    Found find(pugi::xml_node node) const
    {
        const DesignSheet* current = sheet();
        if (!current || !node)
            return {};
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const DesignBand& band = current->bands[index];
            for (const DesignItem& item : band.items)
                if (item.node == node)
                    return { &band, &item, bandTops[index], itemRect(band, item) };
        }
        return {};
    }

    bool isSelected(pugi::xml_node node) const
    {
        return std::find(selection.begin(), selection.end(), node) != selection.end();
    }

    void setSelection(std::vector<pugi::xml_node> nodes)
    {
        std::vector<pugi::xml_node> kept;
        for (pugi::xml_node node : nodes)
            if (find(node).item && std::find(kept.begin(), kept.end(), node) == kept.end())
                kept.push_back(node);
        if (kept == selection)
            return;
        selection = std::move(kept);
        q.viewport()->update();
        emit q.selectionChanged();
    }

    // Reads the sheet again after an edit: the painted page, the graphics, the selection of nodes that
    // are still there.
    void rebuild()
    {
        page = {};
        bandTops.clear();
        const DesignSheet* current = sheet();
        if (current) {
            const auto& modelSheets = document.model().sheets;
            const size_t index = static_cast<size_t>(sheetIndex);
            QString folder = index < modelSheets.size() ? modelSheets[index].folder : QString();
            if (folder.isEmpty() && !document.path().isEmpty())
                folder = QFileInfo(document.path()).absolutePath();
            graphics.rebuild(*current, folder);
            double top = 0;
            for (const DesignBand& band : current->bands) {
                bandTops.push_back(top);
                for (const DesignItem& item : band.items) {
                    PageItem pageItem;
                    pageItem.rect = itemRect(band, item).translated(0, top);
                    pageItem.style = item.cell.style;
                    pageItem.graphic = graphics.graphic(item.node);
                    if (!pageItem.graphic)
                        pageItem.text = QString::fromUtf8(item.node.text().get());
                    page.items.push_back(std::move(pageItem));
                }
                top += band.height;
            }
            page.paper = QSizeF(stripWidth(), top);
        }
        if (bandIndex(lastBand) < 0)
            lastBand = {};
        if (drag != Drag::None && !(find(dragNode).item || bandIndex(dragNode) >= 0))
            drag = Drag::None;
        std::vector<pugi::xml_node> kept;
        for (pugi::xml_node node : selection)
            if (find(node).item)
                kept.push_back(node);
        if (kept != selection) {
            selection = std::move(kept);
            emit q.selectionChanged();
        }
        updateScrollBars();
        q.viewport()->update();
    }

    void updateScrollBars()
    {
        const double scale = pixelsPerMm();
        const int contentWidth = static_cast<int>(std::ceil(Margin * 2 + Gutter + stripWidth() * scale));
        const int contentHeight = static_cast<int>(std::ceil(Margin * 2 + totalHeight() * scale));
        const QSize view = q.viewport()->size();
        q.horizontalScrollBar()->setRange(0, std::max(0, contentWidth - view.width()));
        q.horizontalScrollBar()->setPageStep(view.width());
        q.horizontalScrollBar()->setSingleStep(20);
        q.verticalScrollBar()->setRange(0, std::max(0, contentHeight - view.height()));
        q.verticalScrollBar()->setPageStep(view.height());
        q.verticalScrollBar()->setSingleStep(20);
        updateRulers();
    }

    void updateRulers()
    {
        const QRect view = q.viewport()->geometry();
        topRuler->setGeometry(view.left(), view.top() - Ruler::Thickness, view.width(), Ruler::Thickness);
        leftRuler->setGeometry(view.left() - Ruler::Thickness, view.top(), Ruler::Thickness, view.height());
        const double scale = pixelsPerMm();
        const QPointF at = origin();
        topRuler->setScale({ { at.x(), stripWidth() } }, scale);
        // Item positions count from their band's top, and so does the ruler beside each band.
        std::vector<Ruler::Span> spans;
        if (const DesignSheet* current = sheet())
            for (size_t index = 0; index < current->bands.size(); ++index)
                spans.push_back({ at.y() + bandTops[index] * scale, current->bands[index].height });
        leftRuler->setScale(std::move(spans), scale);
    }

    pugi::xml_node bandAt(QPointF point, QPointF* millimetres) const
    {
        const DesignSheet* current = sheet();
        if (!current)
            return {};
        const double scale = pixelsPerMm();
        const QPointF mm = (point - origin()) / scale;
        if (mm.x() < 0 || mm.x() > stripWidth())
            return {};
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const double top = bandTops[index];
            const double bottom = top + current->bands[index].height;
            const bool last = index + 1 == current->bands.size();
            if (mm.y() >= top && (mm.y() < bottom || (last && mm.y() <= bottom))) {
                if (millimetres)
                    *millimetres = QPointF(mm.x(), mm.y() - top);
                return current->bands[index].node;
            }
        }
        return {};
    }

    // The topmost item under the point: the last one painted.
    pugi::xml_node itemAt(QPointF point) const
    {
        const DesignSheet* current = sheet();
        if (!current)
            return {};
        for (size_t index = current->bands.size(); index-- > 0;) {
            const DesignBand& band = current->bands[index];
            for (auto item = band.items.rbegin(); item != band.items.rend(); ++item)
                if (toViewport(bandTops[index], itemRect(band, *item)).contains(point))
                    return item->node;
        }
        return {};
    }

    std::vector<QRectF> handleRects(const QRectF& frame) const
    {
        const QPointF centres[8] = { frame.topLeft(), QPointF(frame.center().x(), frame.top()), frame.topRight(),
            QPointF(frame.right(), frame.center().y()), frame.bottomRight(),
            QPointF(frame.center().x(), frame.bottom()), frame.bottomLeft(),
            QPointF(frame.left(), frame.center().y()) };
        std::vector<QRectF> rects;
        for (const QPointF& centre : centres)
            rects.emplace_back(centre - QPointF(HandleSize / 2.0, HandleSize / 2.0), QSizeF(HandleSize, HandleSize));
        return rects;
    }

    int handleAt(QPointF point) const
    {
        if (selection.size() != 1)
            return -1;
        const Found found = find(selection.front());
        if (!found.item)
            return -1;
        const std::vector<QRectF> rects = handleRects(toViewport(found.bandTop, found.rect));
        for (size_t index = 0; index < rects.size(); ++index)
            if (rects[index].adjusted(-1, -1, 1, 1).contains(point))
                return static_cast<int>(index);
        return -1;
    }

    pugi::xml_node bandEdgeAt(QPointF point) const
    {
        const DesignSheet* current = sheet();
        if (!current)
            return {};
        const double scale = pixelsPerMm();
        const QPointF at = origin();
        if (point.x() < at.x() - Gutter || point.x() > at.x() + stripWidth() * scale)
            return {};
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const double edge = at.y() + (bandTops[index] + current->bands[index].height) * scale;
            if (std::abs(point.y() - edge) <= EdgeGrip)
                return current->bands[index].node;
        }
        return {};
    }

    // How far the selection may move and stay inside its bands, given the wanted distance.
    QPointF clampedDelta(QPointF delta) const
    {
        const double width = stripWidth();
        double minDx = -1e9, maxDx = 1e9, minDy = -1e9, maxDy = 1e9;
        for (pugi::xml_node node : selection) {
            const Found found = find(node);
            if (!found.item)
                continue;
            const QRectF& rect = found.rect;
            minDx = std::max(minDx, -rect.left());
            maxDx = std::min(maxDx, std::max(0.0, width - rect.right()));
            minDy = std::max(minDy, -rect.top());
            maxDy = std::min(maxDy, std::max(0.0, found.band->height - rect.bottom()));
        }
        // An item already outside its band may move back in, never further out.
        return QPointF(std::clamp(delta.x(), std::min(minDx, 0.0), std::max(maxDx, 0.0)),
            std::clamp(delta.y(), std::min(minDy, 0.0), std::max(maxDy, 0.0)));
    }

    QPointF moveDelta(QPointF point, Qt::KeyboardModifiers modifiers) const
    {
        const QPointF raw = (point - pressPoint) / pixelsPerMm();
        QPointF delta(hundredths(raw.x()), hundredths(raw.y()));
        if (!(modifiers & Qt::AltModifier)) // the item pressed on lands on the grid
            delta = QPointF(
                snapped(dragRect.x() + raw.x()) - dragRect.x(), snapped(dragRect.y() + raw.y()) - dragRect.y());
        return clampedDelta(delta);
    }

    QRectF resizeRect(QPointF point, Qt::KeyboardModifiers modifiers) const
    {
        const Found found = find(dragNode);
        if (!found.item)
            return dragRect;
        const QPointF raw = (point - pressPoint) / pixelsPerMm();
        const bool free = modifiers & Qt::AltModifier;
        const auto place = [free](double edge) { return free ? hundredths(edge) : snapped(edge); };
        const Handle& handle = Handles[dragHandle];
        double left = dragRect.left(), top = dragRect.top(), right = dragRect.right(), bottom = dragRect.bottom();
        // Edges stay on the strip and in the band, and at least the engine's least width apart.
        if (handle.left)
            left = std::clamp(place(left + raw.x()), 0.0, right - MinCellWidth);
        if (handle.right)
            right
                = std::clamp(place(right + raw.x()), left + MinCellWidth, std::max(stripWidth(), left + MinCellWidth));
        if (handle.top)
            top = std::clamp(place(top + raw.y()), 0.0, bottom - MinCellWidth);
        if (handle.bottom)
            bottom = std::clamp(
                place(bottom + raw.y()), top + MinCellWidth, std::max(found.band->height, top + MinCellWidth));
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    }

    double dragBandHeight(QPointF point, Qt::KeyboardModifiers modifiers) const
    {
        const double raw = dragRect.height() + (point.y() - pressPoint.y()) / pixelsPerMm();
        const double height = modifiers & Qt::AltModifier ? hundredths(raw) : snapped(raw);
        return std::clamp(height, MinBandHeight, MaxTemplateLength);
    }

    std::vector<pugi::xml_node> itemsTouching(const QRectF& area) const
    {
        std::vector<pugi::xml_node> touched;
        const DesignSheet* current = sheet();
        if (!current)
            return touched;
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const DesignBand& band = current->bands[index];
            for (const DesignItem& item : band.items)
                if (toViewport(bandTops[index], itemRect(band, item)).intersects(area))
                    touched.push_back(item.node);
        }
        return touched;
    }

    void nudge(QPointF delta)
    {
        if (selection.empty())
            return;
        delta = clampedDelta(delta);
        if (delta.isNull())
            return;
        refused(document.moveItems(selection, delta.x(), delta.y()));
    }

    // A drag is an undo step of its own, and changes only the coordinates it moved along; the document's
    // moves merge with the next one, which suits the arrow keys.
    void moveByDrag(QPointF delta)
    {
        std::vector<AttributeChange> changes;
        for (pugi::xml_node node : selection) {
            const Found found = find(node);
            if (!found.item)
                continue;
            if (delta.x() != 0)
                changes.push_back({ node, QStringLiteral("x"), lengthText(std::max(0.0, found.rect.x() + delta.x())) });
            if (delta.y() != 0)
                changes.push_back({ node, QStringLiteral("y"), lengthText(std::max(0.0, found.rect.y() + delta.y())) });
        }
        if (!changes.empty())
            refused(document.changeAttributes(changes, QStringLiteral("Move")));
    }

    // The band a paste goes into: that of the first selected item, else that of the last click, else the
    // first band.
    pugi::xml_node pasteBand() const
    {
        if (!selection.empty())
            if (const Found found = find(selection.front()); found.band)
                return found.band->node;
        if (lastBand)
            return lastBand;
        const DesignSheet* current = sheet();
        return current && !current->bands.empty() ? current->bands.front().node : pugi::xml_node();
    }

    // Moves pasted elements right and down until none sits exactly where an item of the band already is.
    QByteArray offsetForBand(const QByteArray& xml, pugi::xml_node band) const
    {
        pugi::xml_document fragment;
        if (!fragment.load_buffer(xml.constData(), static_cast<size_t>(xml.size()),
                pugi::parse_default | pugi::parse_fragment | pugi::parse_comments))
            return xml;
        std::vector<pugi::xml_node> elements;
        for (pugi::xml_node node : fragment.children())
            if (isItemElement(node))
                elements.push_back(node);
            else
                for (pugi::xml_node child : node.children())
                    if (isItemElement(child))
                        elements.push_back(child);
        const int index = bandIndex(band);
        if (elements.empty() || index < 0)
            return xml;
        const DesignBand& target = sheet()->bands[static_cast<size_t>(index)];
        const auto occupied = [&](double dx, double dy) {
            for (pugi::xml_node element : elements) {
                const double x = element.attribute("x").as_double() + dx;
                const double y = element.attribute("y").as_double() + dy;
                for (const DesignItem& item : target.items)
                    if (std::abs(item.rect.x() - x) < 0.005 && std::abs(item.rect.y() - y) < 0.005)
                        return true;
            }
            return false;
        };
        double dx = 0, dy = 0;
        for (int step = 0; step < 100 && occupied(dx, dy); ++step) {
            dx += PasteOffset;
            // Lower only while the band has room; to the right there is always the attribute's range.
            bool roomBelow = true;
            for (pugi::xml_node element : elements) {
                const double height = element.attribute("height").as_double();
                if (element.attribute("y").as_double() + dy + PasteOffset + height > target.height + 1e-9)
                    roomBelow = false;
            }
            if (roomBelow)
                dy += PasteOffset;
        }
        if (dx == 0 && dy == 0)
            return xml;
        for (pugi::xml_node element : elements) {
            const auto shift = [&](const char* name, double by) {
                if (by == 0)
                    return;
                const double value = element.attribute(name).as_double() + by;
                pugi::xml_attribute attribute = element.attribute(name);
                if (!attribute)
                    attribute = element.append_attribute(name);
                attribute.set_value(lengthText(value).toUtf8().constData());
            };
            shift("x", dx);
            shift("y", dy);
        }
        std::ostringstream out;
        fragment.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
        const std::string text = out.str();
        return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    }

    void paint(QPainter& painter, const QRect& exposed)
    {
        painter.fillRect(exposed, QColor(0xD8, 0xD8, 0xD8));
        const DesignSheet* current = sheet();
        if (!current)
            return;
        const double scale = pixelsPerMm();
        const QPointF at = origin();
        const double width = stripWidth() * scale;
        QFont labelFont = q.font();
        QFont heightFont = labelFont;
        heightFont.setPointSizeF(std::max(6.0, labelFont.pointSizeF() - 1));
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const DesignBand& band = current->bands[index];
            const QRectF strip(at.x(), at.y() + bandTops[index] * scale, width, band.height * scale);
            painter.fillRect(strip, Qt::white);
            const QRectF gutter(at.x() - Gutter, strip.top(), Gutter - 1, strip.height());
            painter.fillRect(gutter, QColor(0xEE, 0xEE, 0xF2));
            painter.save();
            painter.setClipRect(gutter);
            painter.setPen(QColor(0x30, 0x30, 0x30));
            painter.setFont(labelFont);
            const QRectF text = gutter.adjusted(4, 1, -4, -1);
            painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, band.label);
            painter.setFont(heightFont);
            painter.setPen(QColor(0x70, 0x70, 0x70));
            painter.drawText(
                text, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("%1 mm").arg(lengthText(band.height)));
            painter.restore();
            if (scale >= 4)
                paintGrid(painter, strip.intersected(QRectF(exposed)), strip.topLeft(), scale);
        }
        paintPage(painter, page, at, scale);
        for (size_t index = 0; index < current->bands.size(); ++index) {
            const double edge = std::round(at.y() + (bandTops[index] + current->bands[index].height) * scale) - 0.5;
            painter.setPen(QPen(QColor(0x50, 0x50, 0x90), 1, Qt::DashLine));
            painter.drawLine(QPointF(at.x() - Gutter, edge), QPointF(at.x() + width, edge));
        }
        paintSelection(painter);
        paintDrag(painter);
    }

    static void paintGrid(QPainter& painter, const QRectF& visible, QPointF corner, double scale)
    {
        if (visible.isEmpty())
            return;
        const int firstX = static_cast<int>(std::ceil((visible.left() - corner.x()) / scale));
        const int lastX = static_cast<int>(std::floor((visible.right() - corner.x()) / scale));
        const int firstY = static_cast<int>(std::ceil((visible.top() - corner.y()) / scale));
        const int lastY = static_cast<int>(std::floor((visible.bottom() - corner.y()) / scale));
        QPolygonF dots;
        dots.reserve(std::max(0, (lastX - firstX + 1) * (lastY - firstY + 1)));
        for (int y = firstY; y <= lastY; ++y)
            for (int x = firstX; x <= lastX; ++x)
                dots.append(QPointF(std::round(corner.x() + x * scale), std::round(corner.y() + y * scale)));
        painter.setPen(QColor(0xB8, 0xB8, 0xC8));
        painter.drawPoints(dots);
    }

    void paintSelection(QPainter& painter) const
    {
        const QColor selected(0x20, 0x60, 0xD0);
        painter.setBrush(Qt::NoBrush);
        for (pugi::xml_node node : selection) {
            const Found found = find(node);
            if (!found.item)
                continue;
            painter.setPen(QPen(selected, 1));
            const QRectF frame = toViewport(found.bandTop, found.rect);
            painter.drawRect(frame.adjusted(-0.5, -0.5, 0.5, 0.5));
            if (selection.size() == 1 && drag == Drag::None) {
                painter.setBrush(Qt::white);
                for (const QRectF& handle : handleRects(frame))
                    painter.drawRect(handle);
                painter.setBrush(Qt::NoBrush);
            }
        }
    }

    void paintDrag(QPainter& painter) const
    {
        if (drag == Drag::None || (!dragStarted && drag != Drag::Rubber))
            return;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0x20, 0x60, 0xD0), 1, Qt::DashLine));
        switch (drag) {
        case Drag::Move:
            for (pugi::xml_node node : selection)
                if (const Found found = find(node); found.item)
                    painter.drawRect(toViewport(found.bandTop, found.rect.translated(dragDelta)));
            break;
        case Drag::Resize:
            if (const Found found = find(dragNode); found.item)
                painter.drawRect(toViewport(found.bandTop, resizedRect));
            break;
        case Drag::BandHeight: {
            const int index = bandIndex(dragNode);
            if (index < 0)
                break;
            const QPointF edge = toViewport(bandTops[static_cast<size_t>(index)], QPointF(0, bandHeight));
            painter.setPen(QPen(QColor(0x20, 0x60, 0xD0), 2));
            painter.drawLine(
                QPointF(edge.x() - Gutter, edge.y()), QPointF(edge.x() + stripWidth() * pixelsPerMm(), edge.y()));
            painter.drawText(
                QPointF(edge.x() - Gutter + 4, edge.y() - 3), QStringLiteral("%1 mm").arg(lengthText(bandHeight)));
            break;
        }
        case Drag::Rubber:
            if (!rubber.isEmpty()) {
                painter.setPen(QPen(QColor(0x20, 0x60, 0xD0), 1, Qt::DotLine));
                painter.setBrush(QColor(0x20, 0x60, 0xD0, 0x20));
                painter.drawRect(rubber);
            }
            break;
        case Drag::None:
            break;
        }
    }

    void press(QMouseEvent* event)
    {
        const QPointF point = event->position();
        pressPoint = point;
        dragStarted = false;
        if (pugi::xml_node band = bandAt(point, nullptr))
            lastBand = band;
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        if (const int handle = handleAt(point); handle >= 0 && !shift) {
            drag = Drag::Resize;
            dragHandle = handle;
            dragNode = selection.front();
            dragRect = find(dragNode).rect;
            resizedRect = dragRect;
            return;
        }
        if (pugi::xml_node band = bandEdgeAt(point); band && !shift) {
            drag = Drag::BandHeight;
            dragNode = band;
            const int index = bandIndex(band);
            bandHeight = sheet()->bands[static_cast<size_t>(index)].height;
            dragRect = QRectF(0, 0, 0, bandHeight);
            lastBand = band;
            return;
        }
        if (pugi::xml_node item = itemAt(point)) {
            if (shift) {
                std::vector<pugi::xml_node> nodes = selection;
                if (isSelected(item))
                    nodes.erase(std::find(nodes.begin(), nodes.end(), item));
                else
                    nodes.push_back(item);
                setSelection(std::move(nodes));
                drag = Drag::None;
                return;
            }
            if (!isSelected(item))
                setSelection({ item });
            drag = Drag::Move;
            dragNode = item;
            dragRect = find(item).rect;
            dragDelta = QPointF();
            return;
        }
        rubberBase = shift ? selection : std::vector<pugi::xml_node>();
        if (!shift)
            setSelection({});
        drag = Drag::Rubber;
        rubber = QRect();
    }

    void move(QMouseEvent* event)
    {
        const QPointF point = event->position();
        if (drag == Drag::None) {
            updateCursor(point);
            return;
        }
        if (!dragStarted && (point - pressPoint).manhattanLength() < 2)
            return;
        dragStarted = true;
        switch (drag) {
        case Drag::Move:
            dragDelta = moveDelta(point, event->modifiers());
            break;
        case Drag::Resize:
            resizedRect = resizeRect(point, event->modifiers());
            break;
        case Drag::BandHeight:
            bandHeight = dragBandHeight(point, event->modifiers());
            break;
        case Drag::Rubber: {
            rubber = QRectF(pressPoint, point).normalized().toAlignedRect();
            std::vector<pugi::xml_node> nodes = rubberBase;
            for (pugi::xml_node node : itemsTouching(QRectF(pressPoint, point).normalized()))
                if (std::find(nodes.begin(), nodes.end(), node) == nodes.end())
                    nodes.push_back(node);
            setSelection(std::move(nodes));
            break;
        }
        case Drag::None:
            break;
        }
        q.viewport()->update();
    }

    // The drag ends: one edit for all of it.
    void release(QMouseEvent* event)
    {
        const Drag ended = drag;
        drag = Drag::None;
        const QPointF point = event->position();
        const bool moved = dragStarted || (point - pressPoint).manhattanLength() >= 2;
        dragStarted = false;
        rubber = QRect();
        q.viewport()->update();
        if (!moved)
            return;
        switch (ended) {
        case Drag::Move: {
            const QPointF delta = moveDelta(point, event->modifiers());
            if (!delta.isNull())
                moveByDrag(delta);
            break;
        }
        case Drag::Resize: {
            const QRectF rect = resizeRect(point, event->modifiers());
            if (rect != dragRect)
                document.setGeometry(dragNode, rect);
            break;
        }
        case Drag::BandHeight: {
            const double height = dragBandHeight(point, event->modifiers());
            if (height != dragRect.height())
                refused(document.setBandHeight(dragNode, height));
            break;
        }
        case Drag::Rubber:
        case Drag::None:
            break;
        }
    }

    void updateCursor(QPointF point)
    {
        if (const int handle = handleAt(point); handle >= 0)
            q.viewport()->setCursor(handleCursor(handle));
        else if (bandEdgeAt(point))
            q.viewport()->setCursor(Qt::SplitVCursor);
        else if (itemAt(point))
            q.viewport()->setCursor(Qt::SizeAllCursor);
        else
            q.viewport()->unsetCursor();
    }

    void dropField(const QString& field, QPointF point)
    {
        QPointF mm;
        const pugi::xml_node band = bandAt(point, &mm);
        const int index = bandIndex(band);
        const qsizetype dot = field.indexOf(u'.');
        if (index < 0 || dot <= 0 || dot + 1 >= field.size())
            return;
        const DesignSheet& current = *sheet();
        const DesignBand& target = current.bands[static_cast<size_t>(index)];
        const double x = std::clamp(snapped(mm.x()), 0.0, std::max(0.0, snapped(stripWidth() - FieldCellWidth)));
        const double y = std::clamp(snapped(mm.y()), 0.0, std::max(0.0, std::floor(target.height - FieldCellHeight)));
        const auto cell = [](double x, double y, double height, const QString& text) {
            pugi::xml_document fragment;
            pugi::xml_node node = fragment.append_child("cell");
            node.append_attribute("x").set_value(lengthText(x).toUtf8().constData());
            node.append_attribute("y").set_value(lengthText(y).toUtf8().constData());
            node.append_attribute("width").set_value(lengthText(FieldCellWidth).toUtf8().constData());
            if (height > 0)
                node.append_attribute("height").set_value(lengthText(height).toUtf8().constData());
            node.text().set(text.toUtf8().constData());
            std::ostringstream out;
            fragment.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
            const std::string bytes = out.str();
            return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
        };
        // A detail's column gets its caption in the detail's header band, when the sheet has one.
        pugi::xml_node header;
        if (target.kind == BandKind::Detail) {
            const QString detail = QString::fromUtf8(target.node.attribute("detail").value());
            for (const DesignBand& band : current.bands)
                if (band.kind == BandKind::DetailHeader
                    && QString::fromUtf8(band.node.attribute("detail").value()).compare(detail, Qt::CaseInsensitive)
                        == 0)
                    header = band.node;
        }
        // A name the engine cannot read as a field is refused here, before an undo step is begun for it.
        const QString boundText = QLatin1Char('[') + field + QLatin1Char(']');
        std::vector<TextSegment> segments;
        QString reason;
        if (!parseCellText(boundText, segments, reason) || segments.size() != 1
            || segments.front().kind != TextSegment::Field)
            return;
        const QByteArray bound = cell(x, y, FieldCellHeight, boundText);
        if (!header) {
            setSelection(document.insertElements(band, bound, reason));
            refused(reason);
            return;
        }
        // Both cells or neither: one step to undo.
        QUndoStack& stack = document.undoStack();
        stack.beginMacro(QStringLiteral("Add field %1").arg(field));
        std::vector<pugi::xml_node> made = document.insertElements(band, bound, reason);
        if (reason.isEmpty()) {
            QString caption = field.mid(dot + 1);
            caption.replace(u'[', QStringLiteral("[["));
            const std::vector<pugi::xml_node> captions
                = document.insertElements(header, cell(x, 0, 0, caption), reason);
            made.insert(made.end(), captions.begin(), captions.end());
        }
        stack.endMacro();
        setSelection(std::move(made));
        refused(reason);
    }

    void wheel(QWheelEvent* event)
    {
        // The millimetre under the pointer stays under it.
        const QPointF point = event->position();
        const double before = pixelsPerMm();
        const QPointF content = point + QPointF(q.horizontalScrollBar()->value(), q.verticalScrollBar()->value());
        q.setZoom(zoomFactor * std::pow(1.25, event->angleDelta().y() / 120.0));
        const double ratio = pixelsPerMm() / before;
        const QPointF corner(Margin + Gutter, Margin);
        const QPointF moved = corner + (content - corner) * ratio - point;
        q.horizontalScrollBar()->setValue(static_cast<int>(std::round(moved.x())));
        q.verticalScrollBar()->setValue(static_cast<int>(std::round(moved.y())));
    }

    static bool isCanvasKey(const QKeyEvent* event)
    {
        const int key = event->key();
        return event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)
            || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::SelectAll) || key == Qt::Key_Delete
            || key == Qt::Key_Backspace || key == Qt::Key_Escape || key == Qt::Key_Left || key == Qt::Key_Right
            || key == Qt::Key_Up || key == Qt::Key_Down;
    }

    bool key(QKeyEvent* event)
    {
        const int key = event->key();
        if (event->matches(QKeySequence::Copy)) {
            q.copySelection();
        } else if (event->matches(QKeySequence::Cut)) {
            q.cutSelection();
        } else if (event->matches(QKeySequence::Paste)) {
            q.paste();
        } else if (event->matches(QKeySequence::SelectAll)) {
            std::vector<pugi::xml_node> all;
            if (const DesignSheet* current = sheet())
                for (const DesignBand& band : current->bands)
                    for (const DesignItem& item : band.items)
                        all.push_back(item.node);
            setSelection(std::move(all));
        } else if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            q.deleteSelection();
        } else if (key == Qt::Key_Escape) {
            if (drag == Drag::None)
                return false;
            drag = Drag::None;
            dragStarted = false;
            rubber = QRect();
            q.viewport()->update();
        } else if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
            if (selection.empty())
                return false; // the arrows scroll
            const double step = event->modifiers() & Qt::ShiftModifier ? 0.1 : 1.0;
            const double dx = key == Qt::Key_Left ? -step : key == Qt::Key_Right ? step : 0;
            const double dy = key == Qt::Key_Up ? -step : key == Qt::Key_Down ? step : 0;
            nudge(QPointF(dx, dy));
        } else {
            return false;
        }
        return true;
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &q) {
            if (event->type() == QEvent::ShortcutOverride && isCanvasKey(static_cast<QKeyEvent*>(event))) {
                event->accept(); // the canvas's own keys win over the window's shortcuts while it has focus
                return true;
            }
            if (event->type() == QEvent::KeyPress)
                return key(static_cast<QKeyEvent*>(event));
            return false;
        }
        if (watched != q.viewport())
            return false;
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter painter(q.viewport());
            paint(painter, static_cast<QPaintEvent*>(event)->rect());
            return true;
        }
        case QEvent::Resize:
            updateScrollBars();
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            q.setFocus(Qt::MouseFocusReason);
            if (mouse->button() != Qt::LeftButton)
                return false;
            press(mouse);
            q.viewport()->update();
            return true;
        }
        case QEvent::MouseMove:
            move(static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                return false;
            release(mouse);
            return true;
        }
        case QEvent::Wheel: {
            auto* wheelEvent = static_cast<QWheelEvent*>(event);
            if (!(wheelEvent->modifiers() & Qt::ControlModifier))
                return false;
            wheel(wheelEvent);
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* dragEvent = static_cast<QDragMoveEvent*>(event);
            if (dragEvent->mimeData()->hasFormat(QString::fromLatin1(FieldMimeType))
                && (event->type() == QEvent::DragEnter || bandAt(dragEvent->position(), nullptr)))
                dragEvent->acceptProposedAction();
            else
                dragEvent->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!drop->mimeData()->hasFormat(QString::fromLatin1(FieldMimeType)))
                return false;
            const QString field
                = QString::fromUtf8(drop->mimeData()->data(QString::fromLatin1(FieldMimeType))).trimmed();
            dropField(field, drop->position());
            drop->acceptProposedAction();
            return true;
        }
        default:
            return false;
        }
    }
};

DesignCanvas::DesignCanvas(DesignDocument& document, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_impl(std::make_unique<Impl>(*this, document))
{
    setViewportMargins(Ruler::Thickness, Ruler::Thickness, 0, 0);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->installEventFilter(m_impl.get());
    installEventFilter(m_impl.get());
    connect(&document, &DesignDocument::changed, this, [this] { m_impl->rebuild(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_impl->updateRulers(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_impl->updateRulers(); });
    m_impl->rebuild();
}

DesignCanvas::~DesignCanvas() = default;

void DesignCanvas::setSheet(int index)
{
    m_impl->sheetIndex = std::max(0, index);
    m_impl->drag = Impl::Drag::None;
    m_impl->lastBand = {};
    m_impl->rebuild();
    m_impl->setSelection({});
}

int DesignCanvas::sheet() const
{
    return m_impl->sheetIndex;
}

void DesignCanvas::setZoom(double factor)
{
    factor = std::clamp(factor, MinZoom, MaxZoom);
    if (factor == m_impl->zoomFactor)
        return;
    m_impl->zoomFactor = factor;
    m_impl->updateScrollBars();
    viewport()->update();
    emit zoomChanged(factor);
}

double DesignCanvas::zoom() const
{
    return m_impl->zoomFactor;
}

const std::vector<pugi::xml_node>& DesignCanvas::selection() const
{
    return m_impl->selection;
}

void DesignCanvas::select(const std::vector<pugi::xml_node>& nodes)
{
    m_impl->setSelection(nodes);
}

QPoint DesignCanvas::viewportPoint(pugi::xml_node band, QPointF millimetres) const
{
    const int index = m_impl->bandIndex(band);
    if (index < 0)
        return {};
    return m_impl->toViewport(m_impl->bandTops[static_cast<size_t>(index)], millimetres).toPoint();
}

pugi::xml_node DesignCanvas::bandAt(QPoint viewportPoint, QPointF* millimetres) const
{
    return m_impl->bandAt(viewportPoint, millimetres);
}

void DesignCanvas::copySelection()
{
    if (m_impl->selection.empty())
        return;
    const QByteArray xml = m_impl->document.copyElements(m_impl->selection);
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(ElementsMimeType), xml);
    data->setText(QString::fromUtf8(xml));
    QApplication::clipboard()->setMimeData(data);
}

void DesignCanvas::cutSelection()
{
    copySelection();
    deleteSelection();
}

void DesignCanvas::paste()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(QString::fromLatin1(ElementsMimeType)))
        return;
    const pugi::xml_node band = m_impl->pasteBand();
    if (!band)
        return;
    const QByteArray xml = m_impl->offsetForBand(data->data(QString::fromLatin1(ElementsMimeType)), band);
    QString reason;
    std::vector<pugi::xml_node> pasted = m_impl->document.insertElements(band, xml, reason);
    if (reason.isEmpty())
        m_impl->setSelection(std::move(pasted));
    m_impl->refused(reason);
}

void DesignCanvas::deleteSelection()
{
    if (m_impl->selection.empty())
        return;
    const std::vector<pugi::xml_node> nodes = m_impl->selection;
    m_impl->refused(m_impl->document.removeElements(nodes));
}

void DesignCanvas::alignSelection(Qt::Edge edge)
{
    std::vector<Impl::Found> items;
    for (pugi::xml_node node : m_impl->selection)
        if (Impl::Found found = m_impl->find(node); found.item)
            items.push_back(found);
    if (items.size() < 2)
        return;
    const bool horizontal = edge == Qt::LeftEdge || edge == Qt::RightEdge;
    double target = edge == Qt::LeftEdge || edge == Qt::TopEdge ? 1e12 : -1e12;
    for (const Impl::Found& found : items) {
        switch (edge) {
        case Qt::LeftEdge:
            target = std::min(target, found.rect.left());
            break;
        case Qt::TopEdge:
            target = std::min(target, found.rect.top());
            break;
        case Qt::RightEdge:
            target = std::max(target, found.rect.right());
            break;
        case Qt::BottomEdge:
            target = std::max(target, found.rect.bottom());
            break;
        }
    }
    std::vector<AttributeChange> changes;
    for (const Impl::Found& found : items) {
        double position = target;
        if (edge == Qt::RightEdge)
            position = target - found.rect.width();
        else if (edge == Qt::BottomEdge)
            position = target - found.rect.height();
        const double current = horizontal ? found.rect.x() : found.rect.y();
        if (std::abs(position - current) > 1e-9)
            changes.push_back(
                { found.item->node, QString::fromLatin1(horizontal ? "x" : "y"), lengthText(std::max(0.0, position)) });
    }
    static const char* const names[] = { "Align top", "Align left", "Align right", "Align bottom" };
    const int name = edge == Qt::TopEdge ? 0 : edge == Qt::LeftEdge ? 1 : edge == Qt::RightEdge ? 2 : 3;
    if (!changes.empty())
        m_impl->refused(m_impl->document.changeAttributes(changes, QString::fromLatin1(names[name])));
}

void DesignCanvas::distributeSelection(Qt::Orientation orientation)
{
    std::vector<Impl::Found> items;
    for (pugi::xml_node node : m_impl->selection)
        if (Impl::Found found = m_impl->find(node); found.item)
            items.push_back(found);
    if (items.size() < 3)
        return;
    const bool horizontal = orientation == Qt::Horizontal;
    const auto start
        = [horizontal](const Impl::Found& found) { return horizontal ? found.rect.left() : found.rect.top(); };
    const auto length
        = [horizontal](const Impl::Found& found) { return horizontal ? found.rect.width() : found.rect.height(); };
    std::stable_sort(
        items.begin(), items.end(), [&](const Impl::Found& a, const Impl::Found& b) { return start(a) < start(b); });
    // The outermost items stay; the others are spread so that the gaps between neighbours are equal.
    double end = 0, total = 0;
    for (const Impl::Found& found : items) {
        end = std::max(end, start(found) + length(found));
        total += length(found);
    }
    const double gap = (end - start(items.front()) - total) / static_cast<double>(items.size() - 1);
    std::vector<AttributeChange> changes;
    double position = start(items.front());
    for (size_t index = 0; index < items.size(); ++index) {
        const double wanted = hundredths(position);
        if (index > 0 && index + 1 < items.size() && std::abs(wanted - start(items[index])) > 1e-9)
            changes.push_back({ items[index].item->node, QString::fromLatin1(horizontal ? "x" : "y"),
                lengthText(std::max(0.0, wanted)) });
        position += length(items[index]) + gap;
    }
    if (!changes.empty())
        m_impl->refused(m_impl->document.changeAttributes(
            changes, QString::fromLatin1(horizontal ? "Distribute horizontally" : "Distribute vertically")));
}

} // namespace vl::designer
