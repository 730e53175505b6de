#include "ReportLayout.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace vl {

namespace {

// Page number and count are known only when a page closes and when the report ends; these
// private-use characters hold their place until then.
constexpr char16_t PageNumberMark = u'\uE000';
constexpr char16_t PageCountMark = u'\uE001';

bool isMasterName(const QString& source)
{
    return source.compare(u"Master", Qt::CaseInsensitive) == 0;
}

bool containsName(const std::vector<QString>& names, const QString& name)
{
    return std::any_of(names.begin(), names.end(), [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
}

// What the expressions of a band see: the current master row and detail row.
struct Scope {
    int masterIndex = -1;
    const DetailTable* detail = nullptr;
    int detailRow = -1;
};

// An aggregate of one segment (the n-th in it) over one group.
struct AggregateKey {
    const void* segment;
    int group;
    int ordinal;
    bool operator==(const AggregateKey&) const = default;
};

struct AggregateKeyHash {
    size_t operator()(const AggregateKey& key) const
    {
        return std::hash<const void*>()(key.segment) ^ (static_cast<size_t>(key.group) * 0x9E3779B97F4A7C15ull)
             ^ (static_cast<size_t>(key.ordinal) << 48);
    }
};

// Reads fields and aggregates for the layout; remembers aggregates, since a page band asks for the same
// total over all rows on every page.
class LayoutContext final : public ExpressionContext {
public:
    LayoutContext(const ReportDataSet& data, LayoutHooks& hooks) : m_data(data), m_hooks(hooks)
    {
        m_printTime = hooks.printTime.isValid() ? hooks.printTime : QDateTime::currentDateTime();
    }

    Scope scope;

    ExprValue field(const QString& source, const QString& name) override
    {
        const DataRow* row = nullptr;
        const std::vector<QString>* names = nullptr;
        if (isMasterName(source)) {
            if (scope.masterIndex >= 0 && static_cast<size_t>(scope.masterIndex) < m_data.masterRows.size())
                row = &m_data.masterRows[static_cast<size_t>(scope.masterIndex)];
            if (m_data.hasMaster && !m_data.masterRows.empty())
                names = &m_data.masterFieldNames;
        } else if (scope.detail && scope.detailRow >= 0 && scope.detail->id.compare(source, Qt::CaseInsensitive) == 0) {
            row = &scope.detail->rows[static_cast<size_t>(scope.detailRow)];
            names = &scope.detail->fieldNames;
        } else if (!m_data.empty() && !m_data.detail(source)) {
            missing(QStringLiteral("The data has no detail \"%1\"; its cells print empty").arg(source));
        }
        if (std::optional<QString> value = row ? row->value(name) : std::nullopt)
            return ExprValue::fromText(std::move(*value)); // a row that has it: the field exists
        // A row without the value (an empty value the writer left out) or a field no row has.
        if (names && !containsName(*names, name))
            missing(QStringLiteral("The data has no field \"%1.%2\"; its cells print empty").arg(source, name));
        return {};
    }

    ExprValue aggregate(AggregateKind kind, const QString& source, const QString& name) override
    {
        // Counts and totals over one master's group, or over all rows outside a group.
        const int group = isMasterName(source) ? -1 : scope.masterIndex;
        const AggregateKey key{m_current, group, m_ordinal++};
        if (const auto found = m_aggregates.find(key); found != m_aggregates.end())
            return found->second;
        const ExprValue value = computeAggregate(kind, source, name, group);
        m_aggregates.emplace(key, value);
        return value;
    }

    ExprValue pageNumber() override { return ExprValue::fromText(QString(QChar(PageNumberMark))); }
    ExprValue pageCount() override { return ExprValue::fromText(QString(QChar(PageCountMark))); }
    QDateTime printTime() override { return m_printTime; }

    ExprValue call(const QString& name, const std::vector<ExprValue>& args) override
    {
        if (m_hooks.customFunction)
            if (std::optional<ExprValue> result = m_hooks.customFunction(name, args))
                return *result;
        missing(QStringLiteral("The function \"%1\" is not known; its cells print empty").arg(name));
        return {};
    }

    // Evaluates one segment; `current` keys the aggregate cache.
    ExprValue evaluate(const TextSegment& segment)
    {
        m_current = &segment;
        m_ordinal = 0;
        if (segment.expression)
            return evaluateExpression(*segment.expression, *this);
        switch (segment.kind) { // segments built by code rather than parsed
        case TextSegment::Field:
            return field(segment.source, segment.field);
        case TextSegment::Sum:
            return aggregate(AggregateKind::Sum, segment.source, segment.field);
        case TextSegment::Count:
            return aggregate(AggregateKind::Count, segment.source, segment.field);
        case TextSegment::PageNumber:
            return pageNumber();
        case TextSegment::PageCount:
            return pageCount();
        default:
            return ExprValue::fromText(segment.text);
        }
    }

    // The cell's text; `value` gets the value of a cell with one expression, for the display event.
    QString cellText(const std::vector<TextSegment>& segments, const CellStyle& style, QString* value = nullptr)
    {
        QString text;
        int expressions = 0;
        for (const TextSegment& segment : segments) {
            if (segment.kind == TextSegment::Literal) {
                text += segment.text;
                continue;
            }
            const ExprValue result = evaluate(segment);
            // A count is a whole number whatever the cell's decimals say.
            const int decimals = segment.kind == TextSegment::Count ? -1 : style.decimals;
            text += formatValue(result, style.format, decimals);
            if (value && ++expressions == 1)
                *value = result.toText();
        }
        if (value && expressions > 1)
            *value = text;
        return text;
    }

private:
    void missing(const QString& message)
    {
        if (m_told.contains(message))
            return;
        m_told.insert(message);
        if (m_hooks.prompt)
            m_hooks.prompt(message);
    }

    ExprValue computeAggregate(AggregateKind kind, const QString& source, const QString& name, int group)
    {
        std::vector<const DataRow*> rows;
        if (isMasterName(source)) {
            for (const DataRow& row : m_data.masterRows)
                rows.push_back(&row);
        } else if (const DetailTable* table = m_data.detail(source)) {
            if (m_data.hasMaster && group >= 0) {
                for (int index : table->groups[static_cast<size_t>(group)])
                    rows.push_back(&table->rows[static_cast<size_t>(index)]);
            } else {
                for (const DataRow& row : table->rows)
                    rows.push_back(&row);
            }
            if (!name.isEmpty() && !table->rows.empty() && !containsName(table->fieldNames, name))
                missing(QStringLiteral("The data has no field \"%1.%2\"; its cells print empty").arg(source, name));
        } else if (!m_data.empty()) {
            missing(QStringLiteral("The data has no detail \"%1\"; its cells print empty").arg(source));
        }
        if (kind == AggregateKind::Count)
            return ExprValue::fromNumber(static_cast<double>(rows.size()));
        double sum = 0, low = 0, high = 0;
        int numbers = 0;
        for (const DataRow* row : rows) {
            const std::optional<double> number = row->number(name);
            if (!number)
                continue; // text that is no number counts as 0 in a sum and not at all in avg, min, max
            const double value = *number;
            sum += value;
            low = numbers == 0 ? value : std::min(low, value);
            high = numbers == 0 ? value : std::max(high, value);
            ++numbers;
        }
        switch (kind) {
        case AggregateKind::Sum:
            return ExprValue::fromNumber(sum);
        case AggregateKind::Avg:
            return numbers ? ExprValue::fromNumber(sum / numbers) : ExprValue{};
        case AggregateKind::Min:
            return numbers ? ExprValue::fromNumber(low) : ExprValue{};
        default:
            return numbers ? ExprValue::fromNumber(high) : ExprValue{};
        }
    }

    const ReportDataSet& m_data;
    LayoutHooks& m_hooks;
    QDateTime m_printTime;
    const TextSegment* m_current = nullptr;
    int m_ordinal = 0;
    std::unordered_map<AggregateKey, ExprValue, AggregateKeyHash> m_aggregates;
    QSet<QString> m_told;
};

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
        : m_sheet(sheet), m_data(data), m_hooks(std::move(hooks)), m_context(m_data, m_hooks)
    {
        m_pageSetup = sheet.page;
        for (const TemplateBand& band : sheet.bands) {
            switch (band.kind) {
            case BandKind::Title:
                m_title.push_back(&band);
                break;
            case BandKind::PageHeader:
                m_pageHeaders.push_back(&band);
                break;
            case BandKind::PageFooter:
                m_pageFooters.push_back(&band);
                m_footerHeight += band.height;
                break;
            case BandKind::Master:
                m_masterBands.push_back(&band);
                break;
            case BandKind::Summary:
                m_summary.push_back(&band);
                break;
            default:
                break;
            }
        }
        for (const QString& id : sheet.detailIds()) {
            DetailBands bands;
            bands.id = id;
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
    };

    struct FilledBand {
        double height = 0;
        std::vector<PageItem> items; // rects relative to the band's top left corner
    };

    // Heights (as designed, before growing) of a detail's headers and its first row.
    double tableStartHeight(size_t detail, const DetailTable* table, const std::vector<int>* groupRows) const
    {
        const DetailBands& bands = m_details[detail];
        double height = 0;
        for (const TemplateBand* band : bands.headers)
            height += band->height;
        const bool rows = table && (groupRows ? !groupRows->empty() : !table->rows.empty());
        if (rows)
            for (const TemplateBand* band : bands.rows)
                height += band->height;
        return height;
    }

    double groupStartHeight() const
    {
        double height = 0;
        for (const TemplateBand* band : m_masterBands)
            height += band->height;
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

    FilledBand fill(const TemplateBand& band, const Scope& scope)
    {
        m_context.scope = scope;
        FilledBand filled;
        filled.height = band.height;
        filled.items.reserve(band.cells.size());
        for (const TemplateCell& cell : band.cells) {
            PageItem item;
            item.cell = &cell;
            item.style = cell.style;
            item.masterIndex = scope.masterIndex;
            item.rowIndex = scope.detailRow;
            item.text = m_context.cellText(cell.segments, cell.style, &item.value);
            item.bound = std::any_of(cell.segments.begin(), cell.segments.end(),
                                     [](const TextSegment& segment) { return segment.kind != TextSegment::Literal; });
            if (!cell.href.empty())
                item.link = m_context.cellText(cell.href, CellStyle{});
            item.rect = QRectF(cell.x, cell.y, cell.width, cell.height);
            if (band.grow && cell.style.wrap)
                filled.height = std::max(filled.height, cell.y + std::max(cell.height, wrappedHeight(item.text, cell.style, cell.width)));
            filled.items.push_back(std::move(item));
        }
        for (PageItem& item : filled.items) {
            const TemplateCell& cell = *item.cell;
            double height = cell.height > 0 ? cell.height : std::max(0.0, band.height - cell.y);
            if (band.grow && (cell.height <= 0 || cell.style.wrap))
                height = std::max(height, filled.height - cell.y); // grown cells fill the grown band
            item.rect.setHeight(height);
        }
        return filled;
    }

    void put(FilledBand filled)
    {
        LaidOutPage& page = m_pages.back();
        const double left = m_sheet.page.marginLeft;
        for (PageItem& item : filled.items) {
            item.rect.translate(left, m_y);
            page.items.push_back(std::move(item));
        }
        m_y += filled.height;
        m_pageStart = false;
    }

    // A band that does not fit goes to a new page, unless it starts one already (it is then clipped).
    bool fits(double height) const { return m_pageStart || m_y + height <= contentBottom() + 1e-6; }

    void place(const TemplateBand& band, const Scope& scope)
    {
        FilledBand filled = fill(band, scope);
        if (!fits(filled.height))
            startPage();
        put(std::move(filled));
    }

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
        m_pages.emplace_back();
        m_y = contentTop();
        m_pageStart = true;
        for (const TemplateBand* band : m_pageHeaders)
            put(fill(*band, Scope{m_lastMaster, nullptr, -1}));
        m_pageStart = true;
    }

    const TemplateSheet& m_sheet;
    const ReportDataSet& m_data;
    LayoutHooks m_hooks;
    LayoutContext m_context;
    std::vector<LaidOutPage> m_pages;
    std::vector<const TemplateBand*> m_title, m_pageHeaders, m_pageFooters, m_masterBands, m_summary;
    std::vector<DetailBands> m_details;
    double m_footerHeight = 0;
    double m_y = 0;
    bool m_pageStart = true;
    int m_lastMaster = -1;

    // Where the walk over bands and rows stands.
    Stage m_stage = Stage::Title;
    size_t m_band = 0;
    int m_master = -1;
    size_t m_detail = 0;
    const DetailTable* m_table = nullptr;
    const std::vector<int>* m_groupRows = nullptr; // null: all rows of m_table
    size_t m_row = 0;
    bool m_toldNoRows = false;
};

// One band, or one detail row's band, per call.
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
        } else {
            m_master = -1;
            m_detail = 0;
            m_stage = Stage::DetailStart;
        }
        return;
    case Stage::Master:
        m_lastMaster = m_master;
        if (m_band == 0 && !m_pageStart && m_y + groupStartHeight() > contentBottom() + 1e-6)
            startPage(); // a group header is never left alone at the foot of a page
        if (m_band < m_masterBands.size()) {
            place(*m_masterBands[m_band++], Scope{m_master, nullptr, -1});
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
        m_band = 0;
        m_stage = Stage::DetailHeaders;
        return;
    case Stage::DetailHeaders: {
        const DetailBands& bands = m_details[m_detail];
        if (m_band == 0 && !m_pageStart && !bands.headers.empty()
            && m_y + tableStartHeight(m_detail, m_table, m_groupRows) > contentBottom() + 1e-6)
            startPage(); // nor a table header without its first row
        if (m_band < bands.headers.size()) {
            place(*bands.headers[m_band++], Scope{m_master, m_table, -1});
            return;
        }
        m_band = 0;
        m_row = 0;
        m_stage = Stage::DetailRows;
        return;
    }
    case Stage::DetailRows: {
        const DetailBands& bands = m_details[m_detail];
        const size_t rowCount = !m_table ? 0 : m_groupRows ? m_groupRows->size() : m_table->rows.size();
        if (m_row >= rowCount || bands.rows.empty()) {
            m_band = 0;
            m_stage = Stage::DetailFooters;
            return;
        }
        const int row = m_groupRows ? (*m_groupRows)[m_row] : static_cast<int>(m_row);
        const Scope scope{m_master, m_table, row};
        FilledBand filled = fill(*bands.rows[m_band], scope);
        if (!fits(filled.height)) {
            // The table goes on on a new page under a repeat of its header.
            startPage();
            for (const TemplateBand* header : bands.headers)
                put(fill(*header, Scope{m_master, m_table, -1}));
            m_pageStart = true;
        }
        put(std::move(filled));
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

TemplateSheet defaultSheet(const ReportDataSet& data)
{
    TemplateSheet sheet;
    sheet.name = QStringLiteral("Sheet1");
    const double width = sheet.page.paper.width() - sheet.page.marginLeft - sheet.page.marginRight;
    constexpr double LineHeight = 6.0;

    auto literal = [](const QString& text) { return std::vector<TextSegment>{TextSegment{TextSegment::Literal, text, {}, {}, nullptr}}; };
    auto field = [](const QString& source, const QString& name) {
        return std::vector<TextSegment>{TextSegment{TextSegment::Field, {}, source, name, nullptr}};
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
