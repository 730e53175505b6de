#include "ReportLayout.h"

#include <algorithm>
#include <cmath>

namespace vl {

namespace {

// Page number and count are known only after pagination; these private-use characters hold their place.
constexpr char16_t PageNumberMark = u'\uE000';
constexpr char16_t PageCountMark = u'\uE001';

// What the expressions of a band see: the current master row, detail row, and the rows that
// aggregates run over (the current master's, or all rows outside a master group).
struct Scope {
    const ReportDataSet* data = nullptr;
    int masterIndex = -1;
    const DetailTable* detail = nullptr;
    int detailRow = -1;
};

bool isMasterName(const QString& source)
{
    return source.compare(u"Master", Qt::CaseInsensitive) == 0;
}

std::vector<const DataRow*> aggregateRows(const Scope& scope, const QString& source)
{
    std::vector<const DataRow*> rows;
    const ReportDataSet& data = *scope.data;
    if (isMasterName(source)) {
        for (const DataRow& row : data.masterRows)
            rows.push_back(&row);
        return rows;
    }
    const DetailTable* table = data.detail(source);
    if (!table)
        return rows;
    if (data.hasMaster && scope.masterIndex >= 0) {
        for (int index : table->groups[static_cast<size_t>(scope.masterIndex)])
            rows.push_back(&table->rows[static_cast<size_t>(index)]);
    } else {
        for (const DataRow& row : table->rows)
            rows.push_back(&row);
    }
    return rows;
}

QString fieldText(const Scope& scope, const TextSegment& segment)
{
    const ReportDataSet& data = *scope.data;
    const DataRow* row = nullptr;
    if (isMasterName(segment.source)) {
        if (scope.masterIndex >= 0 && static_cast<size_t>(scope.masterIndex) < data.masterRows.size())
            row = &data.masterRows[static_cast<size_t>(scope.masterIndex)];
    } else if (scope.detail && scope.detailRow >= 0
               && scope.detail->id.compare(segment.source, Qt::CaseInsensitive) == 0) {
        row = &scope.detail->rows[static_cast<size_t>(scope.detailRow)];
    }
    if (!row)
        return {};
    const QString* value = row->value(segment.field);
    return value ? *value : QString();
}

QString evaluate(const std::vector<TextSegment>& segments, const Scope& scope, int decimals)
{
    QString text;
    for (const TextSegment& segment : segments) {
        switch (segment.kind) {
        case TextSegment::Literal:
            text += segment.text;
            break;
        case TextSegment::Field:
            text += fieldText(scope, segment);
            break;
        case TextSegment::Count:
            text += QString::number(aggregateRows(scope, segment.source).size());
            break;
        case TextSegment::Sum: {
            double sum = 0;
            for (const DataRow* row : aggregateRows(scope, segment.source))
                if (const QString* value = row->value(segment.field))
                    sum += value->trimmed().toDouble(); // text that is no number counts as 0
            text += formatNumber(sum, decimals);
            break;
        }
        case TextSegment::PageNumber:
            text += PageNumberMark;
            break;
        case TextSegment::PageCount:
            text += PageCountMark;
            break;
        }
    }
    return text;
}

class Paginator {
public:
    Paginator(const TemplateSheet& sheet, const ReportDataSet& data) : m_sheet(sheet), m_data(data)
    {
        m_report.page = sheet.page;
        for (const TemplateBand& band : sheet.bands) {
            if (band.kind == BandKind::PageHeader)
                m_pageHeaders.push_back(&band);
            else if (band.kind == BandKind::PageFooter)
                m_pageFooters.push_back(&band);
        }
        for (const TemplateBand* band : m_pageFooters)
            m_footerHeight += band->height;
    }

    LaidOutReport run()
    {
        startPage();
        Scope outside{&m_data, -1, nullptr, -1};
        placeAll(BandKind::Title, outside);
        if (m_data.hasMaster) {
            for (size_t master = 0; master < m_data.masterRows.size(); ++master) {
                Scope scope{&m_data, static_cast<int>(master), nullptr, -1};
                placeAll(BandKind::Master, scope);
                for (const QString& id : m_sheet.detailIds())
                    placeDetail(id, scope);
            }
        } else {
            for (const QString& id : m_sheet.detailIds())
                placeDetail(id, outside);
        }
        placeAll(BandKind::Summary, outside);
        finish();
        return std::move(m_report);
    }

private:
    double contentTop() const { return m_sheet.page.marginTop; }
    double contentBottom() const { return m_sheet.page.paper.height() - m_sheet.page.marginBottom - m_footerHeight; }

    void startPage()
    {
        m_report.pages.emplace_back();
        m_y = contentTop();
        m_pageStart = true;
        Scope page{&m_data, m_lastMaster, nullptr, -1};
        for (const TemplateBand* band : m_pageHeaders)
            emitBand(*band, page);
        m_pageStart = true;
    }

    void emitBand(const TemplateBand& band, const Scope& scope)
    {
        LaidOutPage& page = m_report.pages.back();
        for (const TemplateCell& cell : band.cells) {
            const double height = cell.height > 0 ? cell.height : std::max(0.0, band.height - cell.y);
            page.items.push_back(PageItem{QRectF(m_sheet.page.marginLeft + cell.x, m_y + cell.y, cell.width, height),
                                          evaluate(cell.segments, scope, cell.style.decimals), cell.style});
        }
        m_y += band.height;
        m_pageStart = false;
    }

    // A band that does not fit goes to a new page, unless it starts one already (it is then clipped).
    bool fits(const TemplateBand& band) const { return m_pageStart || m_y + band.height <= contentBottom() + 1e-6; }

    void place(const TemplateBand& band, const Scope& scope)
    {
        if (!fits(band))
            startPage();
        emitBand(band, scope);
    }

    void placeAll(BandKind kind, const Scope& scope)
    {
        if (scope.masterIndex >= 0)
            m_lastMaster = scope.masterIndex;
        for (const TemplateBand& band : m_sheet.bands)
            if (band.kind == kind)
                place(band, scope);
    }

    std::vector<const TemplateBand*> detailBands(BandKind kind, const QString& id) const
    {
        std::vector<const TemplateBand*> bands;
        for (const TemplateBand& band : m_sheet.bands)
            if (band.kind == kind && band.detailId.compare(id, Qt::CaseInsensitive) == 0)
                bands.push_back(&band);
        return bands;
    }

    void placeDetail(const QString& id, const Scope& group)
    {
        const DetailTable* table = m_data.detail(id);
        Scope scope = group;
        scope.detail = table;
        const auto headers = detailBands(BandKind::DetailHeader, id);
        for (const TemplateBand* band : headers)
            place(*band, scope);
        if (table) {
            std::vector<int> rows;
            if (m_data.hasMaster) {
                if (group.masterIndex >= 0)
                    rows = table->groups[static_cast<size_t>(group.masterIndex)];
            } else {
                rows.resize(table->rows.size());
                for (size_t i = 0; i < rows.size(); ++i)
                    rows[i] = static_cast<int>(i);
            }
            const auto details = detailBands(BandKind::Detail, id);
            for (int row : rows) {
                scope.detailRow = row;
                for (const TemplateBand* band : details) {
                    if (!fits(*band)) {
                        // The table goes on on a new page under a repeat of its header.
                        startPage();
                        Scope headerScope = scope;
                        headerScope.detailRow = -1;
                        for (const TemplateBand* header : headers)
                            emitBand(*header, headerScope);
                        m_pageStart = true;
                    }
                    emitBand(*band, scope);
                }
            }
            scope.detailRow = -1;
        }
        for (const TemplateBand* band : detailBands(BandKind::DetailFooter, id))
            place(*band, scope);
    }

    void finish()
    {
        const int count = static_cast<int>(m_report.pages.size());
        for (int index = 0; index < count; ++index) {
            LaidOutPage& page = m_report.pages[static_cast<size_t>(index)];
            m_y = contentBottom();
            Scope scope{&m_data, -1, nullptr, -1};
            for (const TemplateBand* band : m_pageFooters) {
                for (const TemplateCell& cell : band->cells) {
                    const double height = cell.height > 0 ? cell.height : std::max(0.0, band->height - cell.y);
                    page.items.push_back(PageItem{QRectF(m_sheet.page.marginLeft + cell.x, m_y + cell.y, cell.width, height),
                                                  evaluate(cell.segments, scope, cell.style.decimals), cell.style});
                }
                m_y += band->height;
            }
            for (PageItem& item : page.items) {
                item.text.replace(PageNumberMark, QString::number(index + 1));
                item.text.replace(PageCountMark, QString::number(count));
            }
        }
    }

    const TemplateSheet& m_sheet;
    const ReportDataSet& m_data;
    LaidOutReport m_report;
    std::vector<const TemplateBand*> m_pageHeaders;
    std::vector<const TemplateBand*> m_pageFooters;
    double m_footerHeight = 0;
    double m_y = 0;
    bool m_pageStart = true;
    int m_lastMaster = -1;
};

} // namespace

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
        return QString::number(value, 'f', decimals);
    if (std::abs(value - std::round(value)) < 1e-9 && std::abs(value) < 1e15)
        return QString::number(static_cast<long long>(std::llround(value)));
    return QString::number(value, 'g', 15);
}

LaidOutReport layoutReport(const TemplateSheet& sheet, const ReportDataSet& data)
{
    return Paginator(sheet, data).run();
}

TemplateSheet defaultSheet(const ReportDataSet& data)
{
    TemplateSheet sheet;
    sheet.name = QStringLiteral("Sheet1");
    const double width = sheet.page.paper.width() - sheet.page.marginLeft - sheet.page.marginRight;
    constexpr double LineHeight = 6.0;

    auto literal = [](const QString& text) { return std::vector<TextSegment>{TextSegment{TextSegment::Literal, text, {}, {}}}; };
    auto field = [](const QString& source, const QString& name) {
        return std::vector<TextSegment>{TextSegment{TextSegment::Field, {}, source, name}};
    };

    if (data.hasMaster && !data.masterFieldNames.empty()) {
        TemplateBand master;
        master.kind = BandKind::Master;
        const size_t columns = 2;
        const double columnWidth = width / columns;
        const size_t count = data.masterFieldNames.size();
        master.height = LineHeight * static_cast<double>((count + columns - 1) / columns) + 3.0;
        for (size_t i = 0; i < count; ++i) {
            const QString& name = data.masterFieldNames[i];
            TemplateCell label;
            label.x = columnWidth * static_cast<double>(i % columns);
            label.y = 2.0 + LineHeight * static_cast<double>(i / columns);
            label.width = columnWidth * 0.4;
            label.height = LineHeight;
            label.segments = literal(name + u':');
            label.style.bold = true;
            TemplateCell value = label;
            value.x += label.width;
            value.width = columnWidth * 0.6;
            value.segments = field(QStringLiteral("Master"), name);
            value.style.bold = false;
            master.cells.push_back(std::move(label));
            master.cells.push_back(std::move(value));
        }
        sheet.bands.push_back(std::move(master));
    }
    for (const DetailTable& table : data.details) {
        if (table.fieldNames.empty())
            continue;
        const double columnWidth = width / static_cast<double>(table.fieldNames.size());
        TemplateBand header;
        header.kind = BandKind::DetailHeader;
        header.detailId = table.id;
        header.height = LineHeight;
        TemplateBand row = header;
        row.kind = BandKind::Detail;
        for (size_t i = 0; i < table.fieldNames.size(); ++i) {
            TemplateCell cell;
            cell.x = columnWidth * static_cast<double>(i);
            cell.width = columnWidth;
            cell.style.borders = BorderAll;
            cell.style.fontSize = 9.0;
            cell.segments = field(table.id, table.fieldNames[i]);
            row.cells.push_back(cell);
            cell.segments = literal(table.fieldNames[i]);
            cell.style.bold = true;
            cell.style.background = QColor(0xE8, 0xE8, 0xE8);
            header.cells.push_back(std::move(cell));
        }
        TemplateBand gap;
        gap.kind = BandKind::DetailFooter;
        gap.detailId = table.id;
        gap.height = 3.0;
        sheet.bands.push_back(std::move(header));
        sheet.bands.push_back(std::move(row));
        sheet.bands.push_back(std::move(gap));
    }
    return sheet;
}

} // namespace vl
