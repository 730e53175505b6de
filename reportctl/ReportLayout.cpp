#include "ReportLayout.h"

#include "ReportGraphics_p.h"
#include "ReportLayoutContext_p.h"
#include "ReportLayoutGroups_p.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace vl {

namespace {

// Height in mm that wrapped text needs in a cell of that width, as the painter will draw it.
double wrappedHeight(const QString& text, const CellStyle& style, double widthMm)
{
    constexpr double Padding = 0.8; // the painter's inner margin on each side
    const double width = std::max(1.0, widthMm - 2 * Padding);
    if (text.isEmpty())
        return 0;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Without a font system, a full-width character is as wide as the font is high.
        const double em = style.fontSize * 25.4 / 72.0;
        double lines = 0;
        for (const QString& line : text.split(u'\n'))
            lines += std::max(1.0, std::ceil(line.size() * em / width));
        return lines * em * 1.25 + 1.0;
    }
    // Measured at 720 dpi, so that rounding to whole pixels costs nothing visible.
    constexpr double PixelsPerMm = 720 / 25.4;
    QFont font(style.fontFamily);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(style.fontSize * 10))));
    font.setBold(style.bold);
    font.setItalic(style.italic);
    const QFontMetricsF metrics(font);
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, width * PixelsPerMm, 1e7), Qt::TextWordWrap, text);
    return bounds.height() / PixelsPerMm + 1.0;
}

} // namespace

class ReportLayouter::Impl {
public:
    Impl(const TemplateSheet& sheet, const ReportDataSet& data, LayoutHooks hooks)
        : m_sheet(sheet), m_data(data), m_hooks(std::move(hooks)), m_context(m_data, m_hooks, &sheet), m_graphics(m_context, sheet)
    {
        m_pageSetup = sheet.page;
        // The bands printed once or per page, by kind; the detail kinds are sorted per detail below.
        static constexpr std::pair<BandKind, std::vector<const TemplateBand*> Impl::*> lists[] = {
            {BandKind::Title, &Impl::m_title}, {BandKind::PageHeader, &Impl::m_pageHeaders},
            {BandKind::PageFooter, &Impl::m_pageFooters}, {BandKind::Master, &Impl::m_masterBands},
            {BandKind::Summary, &Impl::m_summary}};
        for (const TemplateBand& band : sheet.bands)
            for (const auto& [kind, list] : lists)
                if (band.kind == kind)
                    (this->*list).push_back(&band);
        m_footerHeight = heightOf(m_pageFooters);
        for (const QString& id : sheet.detailIds()) {
            DetailBands bands;
            bands.id = id;
            bands.groups = &sheet.groupsOf(id);
            for (const TemplateBand& band : sheet.bands) {
                if (band.detailId.compare(id, Qt::CaseInsensitive) != 0)
                    continue;
                if (band.kind == BandKind::DetailHeader)
                    bands.headers.push_back(&band);
                else if (band.kind == BandKind::Detail)
                    bands.rows.push_back(&band);
                else if (band.kind == BandKind::DetailFooter)
                    bands.footers.push_back(&band);
            }
            m_details.push_back(std::move(bands));
        }
        m_masterRuns.levels = &sheet.masterGroups;
        startPage();
    }

    bool done() const { return m_stage == Stage::Finished; }
    int pageCount() const { return static_cast<int>(m_pages.size()) - (done() ? 0 : 1); }

    void step();

    LaidOutPage resolved(int index) const
    {
        LaidOutPage page = m_pages[static_cast<size_t>(index)];
        const QString count = QString::number(pageCount());
        for (PageItem& item : page.items)
            if (item.text.contains(PageCountMark))
                item.text.replace(PageCountMark, count);
        return page;
    }

    LaidOutPage take(int index, int pageCount)
    {
        LaidOutPage page = std::move(m_pages[static_cast<size_t>(index)]);
        m_pages[static_cast<size_t>(index)] = LaidOutPage{};
        const QString count = QString::number(pageCount);
        for (PageItem& item : page.items)
            if (item.text.contains(PageCountMark))
                item.text.replace(PageCountMark, count);
        return page;
    }

    LaidOutReport take()
    {
        while (!done())
            step();
        LaidOutReport report;
        report.page = m_pageSetup;
        const QString count = QString::number(m_pages.size());
        for (LaidOutPage& page : m_pages)
            for (PageItem& item : page.items)
                if (item.text.contains(PageCountMark))
                    item.text.replace(PageCountMark, count);
        report.pages = std::move(m_pages);
        m_pages.clear();
        return report;
    }

    PageSetup m_pageSetup;

private:
    enum class Stage { Title, Master, DetailStart, DetailHeaders, DetailRows, DetailFooters, Summary, Finished };

    struct DetailBands {
        QString id;
        std::vector<const TemplateBand*> headers, rows, footers;
        const std::vector<TemplateGroup>* groups = nullptr; // levels over the rows; may be empty
    };

    struct FilledBand {
        double height = 0;
        bool hidden = false; // visible= was false: the band takes no space
        std::vector<PageItem> items; // rects relative to the band's top left corner
    };

    // A detail band in columns, while its rows are being placed.
    struct Columns {
        const TemplateBand* band = nullptr; // null: no columns are open
        int index = 0; // the column (down) or the place in the line (across) the next row takes
        double top = 0; // where the columns began on this page, or the line's top
        double y = 0; // down: where the next row goes in the current column
        double bottom = 0; // the lowest edge placed so far
    };

    // Heights (as designed, before growing) of a detail's headers, the group headers above its first
    // row, and that row.
    double tableStartHeight(size_t detail, const DetailTable* table, const std::vector<int>* groupRows) const
    {
        const DetailBands& bands = m_details[detail];
        double height = heightOf(bands.headers);
        const bool rows = table && (groupRows ? !groupRows->empty() : !table->rows.empty());
        if (rows) {
            for (const TemplateGroup& group : *bands.groups)
                height += heightOf(group.headers);
            height += heightOf(bands.rows);
        }
        return height;
    }

    double groupStartHeight() const
    {
        double height = heightOf(m_masterBands);
        if (!m_details.empty()) {
            const DetailTable* table = m_data.detail(m_details.front().id);
            const std::vector<int>* rows = table && m_data.hasMaster ? &table->groups[static_cast<size_t>(m_master)] : nullptr;
            height += tableStartHeight(0, table, rows);
        }
        // More than a page can hold is no reason to leave a page empty.
        return std::min(height, contentBottom() - contentTop());
    }

    double contentTop() const { return m_sheet.page.marginTop; }
    double contentBottom() const { return m_sheet.page.paper.height() - m_sheet.page.marginBottom - m_footerHeight; }
    double contentWidth() const { return m_sheet.page.paper.width() - m_sheet.page.marginLeft - m_sheet.page.marginRight; }
    // The room of a page below its headers: a group that needs more is split whatever it asks.
    double pageRoom() const { return contentBottom() - m_freshTop; }

    bool shown(const std::shared_ptr<const Expression>& visible)
    {
        return !visible || isTrue(m_context.evaluate(*visible));
    }

    FilledBand fill(const TemplateBand& band, const Scope& scope)
    {
        m_context.scope = scope;
        FilledBand filled;
        filled.height = band.height;
        if (!shown(band.visible)) {
            filled.hidden = true;
            filled.height = 0;
            return filled;
        }
        filled.items.reserve(band.cells.size());
        for (const TemplateCell& cell : band.cells) {
            if (!shown(cell.visible))
                continue;
            PageItem item;
            item.cell = &cell;
            item.style = cell.style;
            for (const StyleExpression& style : cell.styleExpressions) {
                const ExprValue value = m_context.evaluate(*style.expression);
                if (!applyStyleValue(item.style, style.attribute, value))
                    m_context.tell(QStringLiteral("%1= gave \"%2\", which it cannot take; the cell keeps its %1")
                                       .arg(styleAttributeName(style.attribute), value.toText().left(64)));
            }
            item.masterIndex = scope.masterIndex;
            item.rowIndex = scope.detailRow;
            item.text = m_context.cellText(cell.segments, item.style, &item.value);
            item.bound = std::any_of(cell.segments.begin(), cell.segments.end(),
                                     [](const TextSegment& segment) { return segment.kind != TextSegment::Literal; });
            if (!m_hooks.makeGraphics) {
                // Counting pages only: the frame is all the layout needs of it.
            } else if (cell.barcode) {
                item.graphic = m_graphics.barcode(*cell.barcode, item.text, item.style);
                item.bound = false; // what a host would show instead cannot change the bars
            } else if (cell.image) {
                item.value = m_context.cellText(cell.image->src, CellStyle{});
                item.graphic = m_graphics.image(*cell.image, item.value);
            } else if (cell.chart) {
                item.graphic = m_graphics.chart(*cell.chart, item.style);
                m_context.scope = scope; // the chart walked its rows
            }
            if (!cell.href.empty())
                item.link = m_context.cellText(cell.href, CellStyle{});
            item.rect = QRectF(cell.x, cell.y, cell.width, cell.height);
            if (band.grow && item.style.wrap)
                filled.height = std::max(filled.height, cell.y + std::max(cell.height, wrappedHeight(item.text, item.style, cell.width)));
            filled.items.push_back(std::move(item));
        }
        for (PageItem& item : filled.items) {
            const TemplateCell& cell = *item.cell;
            double height = cell.height > 0 ? cell.height : std::max(0.0, band.height - cell.y);
            if (band.grow && (cell.height <= 0 || item.style.wrap))
                height = std::max(height, filled.height - cell.y); // grown cells fill the grown band
            item.rect.setHeight(height);
        }
        return filled;
    }

    void putAt(FilledBand filled, double x, double y)
    {
        LaidOutPage& page = m_pages.back();
        for (PageItem& item : filled.items) {
            item.rect.translate(m_sheet.page.marginLeft + x, y);
            page.items.push_back(std::move(item));
        }
        m_pageStart = false;
    }

    void put(FilledBand filled)
    {
        const double height = filled.height;
        putAt(std::move(filled), 0, m_y);
        m_y += height;
    }

    // A band that does not fit goes to a new page, unless it starts one already (it is then clipped).
    bool fits(double height) const { return m_pageStart || m_y + height <= contentBottom() + 1e-6; }

    // Puts a filled band on the page: on a new one when the band or the one before asks for it, or when
    // it does not fit. Inside a detail table the new page repeats the table's headers. False for a
    // hidden band, which takes no place at all.
    bool placeFilled(const TemplateBand& band, FilledBand filled, bool inTable)
    {
        if (filled.hidden)
            return false;
        breakBefore(band, filled.height, inTable);
        put(std::move(filled));
        m_breakPending = band.pageBreak == PageBreak::After;
        return true;
    }

    // A new page where the band or the one before asks for one, or where `height` of the band does not fit.
    void breakBefore(const TemplateBand& band, double height, bool inTable)
    {
        finishColumns();
        if ((m_breakPending || band.pageBreak == PageBreak::Before) && !m_pageStart)
            newPage(inTable);
        m_breakPending = false;
        if (!fits(height))
            newPage(inTable);
    }

    bool place(const TemplateBand& band, const Scope& scope, bool inTable = false)
    {
        return placeFilled(band, fill(band, scope), inTable);
    }

    // A row of a detail band in columns: across each line, or down each column and then the next.
    bool placeInColumns(const TemplateBand& band, FilledBand filled)
    {
        if (filled.hidden)
            return false;
        if (m_columns.band != &band) {
            // The first column starts where there is room for its first row; every other starts at the same top.
            breakBefore(band, filled.height, true);
            m_columns = Columns{&band, 0, m_y, m_y, m_y};
        }
        const int columns = band.columns;
        const double width = std::max(0.0, (contentWidth() - (columns - 1) * band.columnGap) / columns);
        const double height = filled.height;
        if (band.columnOrder == ColumnOrder::Across) {
            if (m_columns.index == 0) {
                if (!fits(height))
                    newPage(true);
                m_columns.top = m_y;
            }
            const double x = m_columns.index * (width + band.columnGap);
            putAt(std::move(filled), x, m_columns.top);
            m_columns.bottom = std::max(m_columns.bottom, m_columns.top + height);
            if (++m_columns.index == columns) {
                m_y = m_columns.bottom;
                m_columns.index = 0;
            }
        } else {
            // A column holds at least one row, so a row taller than the page still moves on.
            if (m_columns.y + height > contentBottom() + 1e-6 && m_columns.y > m_columns.top) {
                m_columns.y = m_columns.top;
                if (++m_columns.index == columns) {
                    newPage(true);
                    m_columns.top = m_columns.y = m_columns.bottom = m_y;
                    m_columns.index = 0;
                }
            }
            const double x = m_columns.index * (width + band.columnGap);
            putAt(std::move(filled), x, m_columns.y);
            m_columns.y += height;
            m_columns.bottom = std::max(m_columns.bottom, m_columns.y);
        }
        m_breakPending = band.pageBreak == PageBreak::After;
        return true;
    }

    // What follows a band in columns starts below its lowest row.
    void finishColumns()
    {
        if (!m_columns.band)
            return;
        m_y = std::max(m_y, m_columns.bottom);
        m_columns = Columns{};
    }

    // A new page; inside a detail table it goes on under a repeat of the table's header and of the
    // headers of its open groups that ask for it.
    void newPage(bool inTable)
    {
        startPage();
        if (!inTable)
            return;
        const DetailBands& bands = m_details[m_detail];
        for (const TemplateBand* header : bands.headers)
            put(fill(*header, Scope{m_master, m_table, -1}));
        repeatGroupHeaders(m_detailRuns, [this](int level) { return detailGroupScope(level, true); });
        m_pageStart = true;
        if (m_columns.band)
            m_columns.top = m_columns.y = m_columns.bottom = m_y;
    }

    template <class ScopeOf> void repeatGroupHeaders(const GroupRuns& runs, ScopeOf scopeOf)
    {
        for (int level = 0; level < runs.count(); ++level) {
            if (runs.open.empty() || runs.open[static_cast<size_t>(level)] < 0 || !runs.level(level).repeatHeader)
                continue;
            for (const TemplateBand& header : runs.level(level).headers) {
                FilledBand filled = fill(header, scopeOf(level));
                if (!filled.hidden)
                    put(std::move(filled));
            }
        }
    }

    // Rows in columns go on over the page break: their state outlives the page.
    void closePage()
    {
        LaidOutPage& page = m_pages.back();
        m_y = contentBottom();
        for (const TemplateBand* band : m_pageFooters)
            put(fill(*band, Scope{}));
        const QString number = QString::number(m_pages.size());
        for (PageItem& item : page.items)
            if (item.text.contains(PageNumberMark))
                item.text.replace(PageNumberMark, number);
    }

    void startPage()
    {
        if (!m_pages.empty())
            closePage();
        m_context.pageStarted();
        m_pages.emplace_back();
        m_pages.back().watermark = m_sheet.watermark;
        m_pages.back().paper = m_sheet.page.paper;
        m_y = contentTop();
        m_pageStart = true;
        Scope headerScope{m_lastMaster, nullptr, -1};
        headerScope.pageBand = true;
        for (const TemplateBand* band : m_pageHeaders)
            put(fill(*band, headerScope));
        m_freshTop = m_y;
        repeatGroupHeaders(m_masterRuns, [this](int level) { return masterGroupScope(level, true); });
        m_pageStart = true;
    }

    // Evaluates each level's by= at every position and finds where groups begin and end.
    template <class ScopeAt> void findRuns(GroupRuns& runs, int positions, ScopeAt scopeAt)
    {
        vl::findRuns(runs, positions, [&](int level, int position) {
            m_context.scope = scopeAt(position);
            return m_context.evaluate(*runs.level(level).by).toText();
        });
    }

    int detailRowAt(int position) const
    {
        return m_groupRows ? (*m_groupRows)[static_cast<size_t>(position)] : position;
    }

    // The scope of a group band of the detail chain: the group's first row for a header, its last for a footer.
    Scope detailGroupScope(int level, bool header) const
    {
        const int first = m_detailRuns.open[static_cast<size_t>(level)];
        const int last = m_detailRuns.ends[static_cast<size_t>(level)][static_cast<size_t>(first)];
        Scope scope{m_master, m_table, detailRowAt(header ? first : last)};
        scope.groupRows = m_groupRows;
        scope.rowFirst = first;
        scope.rowLast = last;
        return scope;
    }

    Scope masterGroupScope(int level, bool header) const
    {
        const int first = m_masterRuns.open[static_cast<size_t>(level)];
        const int last = m_masterRuns.ends[static_cast<size_t>(level)][static_cast<size_t>(first)];
        Scope scope{header ? first : last, nullptr, -1};
        scope.masterFirst = first;
        scope.masterLast = last;
        return scope;
    }

    // Designed height of a group from `first` to `last` at `level` of a chain, with its inner groups'
    // headers and footers, given the height of each position's own bands.
    template <class HeightAt> double groupHeight(const GroupRuns& runs, int level, int first, int last, HeightAt heightAt) const
    {
        double height = 0;
        for (int inner = level; inner < runs.count(); ++inner)
            height += runs.groupsWithin(inner, first, last)
                    * (heightOf(runs.level(inner).headers) + heightOf(runs.level(inner).footers));
        for (int position = first; position <= last; ++position)
            height += heightAt(position);
        return height;
    }

    // The room a new page leaves for groups opening at `from` of `runs`, under the headers it repeats:
    // the open levels of the master chain (and of `runs` above `from`) that repeat theirs, and in a
    // detail table the table's headers.
    double roomForGroups(const GroupRuns& runs, int from, bool inTable) const
    {
        double room = pageRoom();
        auto repeated = [&room](const GroupRuns& chain, int levels) {
            for (int level = 0; level < levels && level < chain.count() && !chain.open.empty(); ++level)
                if (chain.open[static_cast<size_t>(level)] >= 0 && chain.level(level).repeatHeader)
                    room -= heightOf(chain.level(level).headers);
        };
        repeated(m_masterRuns, &runs == &m_masterRuns ? from : m_masterRuns.count());
        if (inTable) {
            room -= heightOf(m_details[m_detail].headers);
            repeated(m_detailRuns, from);
        }
        return room;
    }

    // Opens the groups of `runs` from `from` inward at `position`: first a new page when a group asks
    // for one, when one kept together would be split here but fits under what a new page repeats, or
    // when `next` (the band under the headers; null: none) or the band before breaks the page; then
    // the headers, so that none of them is left at the foot of the page before.
    template <class ScopeOf, class HeightAt>
    void openGroups(GroupRuns& runs, int from, int position, bool inTable, double firstHeight, const TemplateBand* next,
                    ScopeOf scopeOf, HeightAt heightAt)
    {
        if (from >= runs.count())
            return;
        double startHeight = firstHeight;
        double above = 0; // headers of the levels that open before this one
        bool breakBefore = m_breakPending || (next && next->pageBreak == PageBreak::Before);
        for (int level = from; level < runs.count() && !m_pageStart; ++level) {
            const TemplateGroup& group = runs.level(level);
            breakBefore = breakBefore || group.newPage;
            if (group.keepTogether) {
                const int last = runs.ends[static_cast<size_t>(level)][static_cast<size_t>(position)];
                const double height = above + groupHeight(runs, level, position, last, heightAt);
                if (m_y + height > contentBottom() + 1e-6 && height <= roomForGroups(runs, from, inTable))
                    breakBefore = true;
            }
            above += heightOf(group.headers);
        }
        startHeight += above;
        if (!m_pageStart && (breakBefore || m_y + std::min(startHeight, pageRoom()) > contentBottom() + 1e-6))
            newPage(inTable);
        m_breakPending = false;
        for (int level = from; level < runs.count(); ++level) {
            runs.open[static_cast<size_t>(level)] = position;
            const bool atTop = m_pageStart;
            bool placed = false;
            for (const TemplateBand& header : runs.level(level).headers)
                placed = place(header, scopeOf(level, true), inTable) || placed;
            // Headers that open a page keep it fresh, as repeated ones do: what they head stays under them.
            if (atTop && placed)
                m_pageStart = true;
        }
    }

    // Closes the open groups of `runs` from the innermost out to `to`, printing their footers.
    template <class ScopeOf> void closeGroups(GroupRuns& runs, int to, bool inTable, ScopeOf scopeOf)
    {
        for (int level = runs.count() - 1; level >= to; --level) {
            if (runs.open[static_cast<size_t>(level)] < 0)
                continue;
            for (const TemplateBand& footer : runs.level(level).footers)
                place(footer, scopeOf(level, false), inTable);
            runs.open[static_cast<size_t>(level)] = -1;
        }
    }

    double detailRowHeight(int) const { return heightOf(m_details[m_detail].rows); }

    // Designed height of one master row's block: its bands and every detail table under it.
    double masterBlockHeight(int master) const
    {
        double height = heightOf(m_masterBands);
        for (const DetailBands& bands : m_details) {
            const DetailTable* table = m_data.detail(bands.id);
            const size_t rows = table && static_cast<size_t>(master) < table->groups.size() ? table->groups[static_cast<size_t>(master)].size() : 0;
            height += heightOf(bands.headers) + heightOf(bands.footers) + static_cast<double>(rows) * heightOf(bands.rows);
        }
        return height;
    }

    void openDetailGroups(int from)
    {
        const DetailBands& bands = m_details[m_detail];
        openGroups(m_detailRuns, from, static_cast<int>(m_row), true, detailRowHeight(0), bands.rows.empty() ? nullptr : bands.rows.front(),
                   [this](int level, bool header) { return detailGroupScope(level, header); },
                   [this](int position) { return detailRowHeight(position); });
    }

    void closeDetailGroups(int to)
    {
        closeGroups(m_detailRuns, to, true, [this](int level, bool header) { return detailGroupScope(level, header); });
    }

    void openMasterGroups(int from)
    {
        openGroups(m_masterRuns, from, m_master, false, groupStartHeight(), m_masterBands.empty() ? nullptr : m_masterBands.front(),
                   [this](int level, bool header) { return masterGroupScope(level, header); },
                   [this](int master) { return masterBlockHeight(master); });
    }

    void closeMasterGroups(int to)
    {
        closeGroups(m_masterRuns, to, false, [this](int level, bool header) { return masterGroupScope(level, header); });
    }

    const TemplateSheet& m_sheet;
    const ReportDataSet& m_data;
    LayoutHooks m_hooks;
    LayoutContext m_context;
    GraphicMaker m_graphics; // after the context it reads
    std::vector<LaidOutPage> m_pages;
    std::vector<const TemplateBand*> m_title, m_pageHeaders, m_pageFooters, m_masterBands, m_summary;
    std::vector<DetailBands> m_details;
    double m_footerHeight = 0;
    double m_y = 0;
    double m_freshTop = 0; // where a page's content starts below its headers
    bool m_pageStart = true;
    bool m_breakPending = false; // the band before asked for a page break after it
    bool m_headersAtTop = false; // the current detail table's headers began a page
    int m_lastMaster = -1;
    Columns m_columns;
    GroupRuns m_masterRuns, m_detailRuns;

    // Where the walk over bands and rows stands.
    Stage m_stage = Stage::Title;
    size_t m_band = 0;
    int m_master = -1;
    int m_groupsOpenedAt = -1; // the master row whose groups are open
    size_t m_detail = 0;
    const DetailTable* m_table = nullptr;
    const std::vector<int>* m_groupRows = nullptr; // null: all rows of m_table
    size_t m_row = 0;
    bool m_toldNoRows = false;
};

// One band, or one detail row's band, per call; group headers and footers come with the row they stand by.
void ReportLayouter::Impl::step()
{
    switch (m_stage) {
    case Stage::Title:
        if (m_band < m_title.size()) {
            place(*m_title[m_band++], Scope{});
            return;
        }
        m_band = 0;
        if (m_data.hasMaster) {
            m_master = 0;
            m_stage = m_data.masterRows.empty() ? Stage::Summary : Stage::Master;
            findRuns(m_masterRuns, static_cast<int>(m_data.masterRows.size()), [](int master) { return Scope{master, nullptr, -1}; });
        } else {
            m_master = -1;
            m_detail = 0;
            m_stage = Stage::DetailStart;
        }
        return;
    case Stage::Master:
        m_lastMaster = m_master;
        if (m_band == 0 && m_groupsOpenedAt != m_master) {
            m_groupsOpenedAt = m_master;
            const int level = m_masterRuns.count() ? m_masterRuns.breakLevel[static_cast<size_t>(m_master)] : 0;
            if (m_master > 0)
                closeMasterGroups(level);
            openMasterGroups(level);
        }
        if (m_band == 0 && !m_pageStart && m_y + groupStartHeight() > contentBottom() + 1e-6)
            startPage(); // a group header is never left alone at the foot of a page
        if (m_band < m_masterBands.size()) {
            if (place(*m_masterBands[m_band++], Scope{m_master, nullptr, -1}))
                m_context.rowPlaced(m_master);
            return;
        }
        m_band = 0;
        m_detail = 0;
        m_stage = Stage::DetailStart;
        return;
    case Stage::DetailStart:
        if (m_detail >= m_details.size()) {
            if (m_data.hasMaster && static_cast<size_t>(++m_master) < m_data.masterRows.size()) {
                m_stage = Stage::Master;
            } else {
                if (m_data.hasMaster) {
                    m_master = static_cast<int>(m_data.masterRows.size()) - 1;
                    closeMasterGroups(0);
                }
                m_stage = Stage::Summary;
            }
            return;
        }
        m_table = m_data.detail(m_details[m_detail].id);
        m_groupRows = m_table && m_data.hasMaster ? &m_table->groups[static_cast<size_t>(m_master)] : nullptr;
        if (!m_table && !m_data.empty() && !m_toldNoRows && m_hooks.prompt) {
            m_toldNoRows = true;
            m_hooks.prompt(QStringLiteral("The data has no detail \"%1\"; its bands print no rows").arg(m_details[m_detail].id));
        }
        m_detailRuns.levels = m_details[m_detail].groups;
        findRuns(m_detailRuns, !m_table ? 0 : static_cast<int>(m_groupRows ? m_groupRows->size() : m_table->rows.size()),
                 [this](int position) { return Scope{m_master, m_table, detailRowAt(position)}; });
        m_band = 0;
        m_stage = Stage::DetailHeaders;
        return;
    case Stage::DetailHeaders: {
        const DetailBands& bands = m_details[m_detail];
        if (m_band == 0 && !m_pageStart) {
            const bool rows = !m_detailRuns.breakLevel.empty() && !bands.rows.empty();
            const bool groupPage = rows && m_detailRuns.count() && m_detailRuns.level(0).newPage;
            double startHeight = tableStartHeight(m_detail, m_table, m_groupRows);
            if (rows && m_detailRuns.count() && m_detailRuns.level(0).keepTogether) {
                // The first group moves whole when it would be split: the header goes with it.
                const double group = groupHeight(m_detailRuns, 0, 0, m_detailRuns.ends[0][0], [this](int position) {
                    return detailRowHeight(position);
                });
                if (group <= roomForGroups(m_detailRuns, 0, true))
                    startHeight = std::max(startHeight, heightOf(bands.headers) + group);
            }
            if (groupPage || (!bands.headers.empty() && m_y + startHeight > contentBottom() + 1e-6))
                startPage(); // nor a table header without its first row, nor above a group that starts a page
        }
        if (m_band == 0)
            m_headersAtTop = m_pageStart && !bands.headers.empty();
        if (m_band < bands.headers.size()) {
            place(*bands.headers[m_band++], Scope{m_master, m_table, -1});
            return;
        }
        // Under headers that open a page, as under the ones a new page repeats, the page counts as
        // fresh: a group that starts a page stays there.
        if (m_headersAtTop && !m_detailRuns.breakLevel.empty() && !bands.rows.empty())
            m_pageStart = true;
        m_band = 0;
        m_row = 0;
        m_stage = Stage::DetailRows;
        return;
    }
    case Stage::DetailRows: {
        const DetailBands& bands = m_details[m_detail];
        const size_t rowCount = !m_table ? 0 : m_groupRows ? m_groupRows->size() : m_table->rows.size();
        if (m_row >= rowCount || bands.rows.empty()) {
            closeDetailGroups(0);
            finishColumns();
            m_band = 0;
            m_stage = Stage::DetailFooters;
            return;
        }
        if (m_band == 0 && m_detailRuns.count()) {
            const int level = m_detailRuns.breakLevel[m_row];
            if (m_row > 0)
                closeDetailGroups(level);
            openDetailGroups(level);
        }
        const int row = detailRowAt(static_cast<int>(m_row));
        const TemplateBand& band = *bands.rows[m_band];
        FilledBand filled = fill(band, Scope{m_master, m_table, row});
        const bool placed = band.columns > 1 ? placeInColumns(band, std::move(filled)) : placeFilled(band, std::move(filled), true);
        if (placed)
            m_context.rowPlaced(*m_table, row);
        if (++m_band >= bands.rows.size()) {
            m_band = 0;
            ++m_row;
        }
        return;
    }
    case Stage::DetailFooters: {
        const DetailBands& bands = m_details[m_detail];
        if (m_band < bands.footers.size()) {
            place(*bands.footers[m_band++], Scope{m_master, m_table, -1});
            return;
        }
        m_band = 0;
        ++m_detail;
        m_stage = Stage::DetailStart;
        return;
    }
    case Stage::Summary:
        if (m_band < m_summary.size()) {
            place(*m_summary[m_band++], Scope{});
            return;
        }
        closePage();
        m_stage = Stage::Finished;
        return;
    case Stage::Finished:
        return;
    }
}

ReportLayouter::ReportLayouter(const TemplateSheet& sheet, const ReportDataSet& data, LayoutHooks hooks)
    : m_impl(std::make_unique<Impl>(sheet, data, std::move(hooks)))
{
}

ReportLayouter::~ReportLayouter() = default;

bool ReportLayouter::layoutUntil(int pages)
{
    while (!m_impl->done() && m_impl->pageCount() < pages)
        m_impl->step();
    return m_impl->done();
}

bool ReportLayouter::layoutFor(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!m_impl->done()) {
        for (int i = 0; i < 64 && !m_impl->done(); ++i)
            m_impl->step();
        if (timer.elapsed() >= milliseconds)
            break;
    }
    return m_impl->done();
}

bool ReportLayouter::done() const
{
    return m_impl->done();
}

int ReportLayouter::pageCount() const
{
    return m_impl->pageCount();
}

const PageSetup& ReportLayouter::pageSetup() const
{
    return m_impl->m_pageSetup;
}

LaidOutPage ReportLayouter::page(int index) const
{
    if (index < 0 || index >= m_impl->pageCount())
        return {};
    return m_impl->resolved(index);
}

LaidOutPage ReportLayouter::takePage(int index, int pageCount)
{
    if (index < 0 || index >= m_impl->pageCount())
        return {};
    return m_impl->take(index, pageCount > 0 ? pageCount : m_impl->pageCount());
}

LaidOutReport ReportLayouter::takeReport()
{
    return m_impl->take();
}

QString LaidOutReport::pageText(int index) const
{
    QStringList lines;
    if (index >= 0 && static_cast<size_t>(index) < pages.size())
        for (const PageItem& item : pages[static_cast<size_t>(index)].items)
            lines << item.text;
    return lines.join(u'\n');
}

QString formatNumber(double value, int decimals)
{
    if (decimals >= 0)
        return QString::number(value, 'f', std::min(decimals, MaxDecimals));
    if (std::abs(value - std::round(value)) < 1e-9 && std::abs(value) < 1e15)
        return QString::number(static_cast<long long>(std::llround(value)));
    return QString::number(value, 'g', 15);
}

LaidOutReport layoutReport(const TemplateSheet& sheet, const ReportDataSet& data, LayoutHooks hooks)
{
    return ReportLayouter(sheet, data, std::move(hooks)).takeReport();
}

QString evaluateCellText(const std::vector<TextSegment>& segments, const CellStyle& style, const ReportDataSet& data,
                         int masterIndex, const QString& detailId, int rowIndex)
{
    LayoutHooks hooks;
    LayoutContext context(data, hooks);
    context.scope.masterIndex = masterIndex;
    context.scope.detail = detailId.isEmpty() ? nullptr : data.detail(detailId);
    context.scope.detailRow = context.scope.detail ? rowIndex : -1;
    return context.cellText(segments, style);
}

} // namespace vl
