#include "ReportLayoutContext_p.h"

#include "ReportWalk_p.h"

#include <algorithm>

namespace vl {

namespace {

bool containsName(const std::vector<QString>& names, const QString& name)
{
    return std::any_of(names.begin(), names.end(), [&](const QString& n) { return n.compare(name, Qt::CaseInsensitive) == 0; });
}

bool isTotalKind(AggregateKind kind)
{
    return kind == AggregateKind::RunningSum || kind == AggregateKind::RunningCount || kind == AggregateKind::PageSum
        || kind == AggregateKind::PageCount;
}

bool isCountKind(AggregateKind kind)
{
    return kind == AggregateKind::Count || kind == AggregateKind::RunningCount || kind == AggregateKind::PageCount;
}

} // namespace

bool isMasterName(const QString& source)
{
    return source.compare(u"Master", Qt::CaseInsensitive) == 0;
}

// Which rows an aggregate runs over; mode and numbers also key the cache.
struct LayoutContext::RowSet {
    enum Mode { AllMaster, MasterRange, DetailAll, DetailOfMaster, DetailMasterRange, DetailSlice };
    Mode mode = AllMaster;
    int a = -1, b = -1, c = -1;
    const DetailTable* table = nullptr;
    const std::vector<int>* slice = nullptr; // DetailSlice: positions b to c of it (null: of all rows)
};

size_t LayoutContext::AggregateKeyHash::operator()(const AggregateKey& key) const
{
    size_t hash = std::hash<const void*>()(key.expression);
    for (const int part : {key.ordinal, key.mode, key.a, key.b, key.c})
        hash = (hash ^ static_cast<size_t>(part)) * 0x9E3779B97F4A7C15ull;
    return hash;
}

LayoutContext::LayoutContext(const ReportDataSet& data, LayoutHooks& hooks, const TemplateSheet* sheet)
    : m_data(data), m_hooks(hooks)
{
    m_printTime = hooks.printTime.isValid() ? hooks.printTime : QDateTime::currentDateTime();
    if (!sheet)
        return;
    forEachExpression(*sheet, [this](const Expression& expression) {
        if (expression.kind != Expression::Aggregate || !isTotalKind(expression.aggregate))
            return;
        const bool known = std::any_of(m_totals.begin(), m_totals.end(), [&](const Total& total) {
            return total.source.compare(expression.source, Qt::CaseInsensitive) == 0
                && total.field.compare(expression.field, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            m_totals.push_back(Total{expression.source, expression.field});
    });
}

ExprValue LayoutContext::field(const QString& source, const QString& name)
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
        tell(QStringLiteral("The data has no detail \"%1\"; its cells print empty").arg(source));
    }
    if (std::optional<QString> value = row ? row->value(name) : std::nullopt)
        return ExprValue::fromText(std::move(*value)); // a row that has it: the field exists
    // A row without the value (an empty value the writer left out) or a field no row has.
    if (names && !containsName(*names, name))
        tell(QStringLiteral("The data has no field \"%1.%2\"; its cells print empty").arg(source, name));
    return {};
}

LayoutContext::RowSet LayoutContext::rowsOf(const QString& source) const
{
    RowSet set;
    if (isMasterName(source)) {
        if (scope.masterFirst >= 0) {
            set.mode = RowSet::MasterRange;
            set.a = scope.masterFirst;
            set.b = scope.masterLast;
        }
        return set;
    }
    set.table = m_data.detail(source);
    if (set.table && scope.detail == set.table && scope.rowFirst >= 0) {
        set.mode = RowSet::DetailSlice;
        set.a = scope.masterIndex;
        set.b = scope.rowFirst;
        set.c = scope.rowLast;
        set.slice = scope.groupRows;
    } else if (m_data.hasMaster && scope.masterFirst >= 0) {
        set.mode = RowSet::DetailMasterRange;
        set.a = scope.masterFirst;
        set.b = scope.masterLast;
    } else if (m_data.hasMaster && scope.masterIndex >= 0) {
        set.mode = RowSet::DetailOfMaster;
        set.a = scope.masterIndex;
    } else {
        set.mode = RowSet::DetailAll;
    }
    return set;
}

ExprValue LayoutContext::aggregate(AggregateKind kind, const QString& source, const QString& name)
{
    if (isTotalKind(kind))
        return total(kind, source, name);
    const RowSet set = rowsOf(source);
    const AggregateKey key{m_current, m_ordinal++, set.mode, set.a, set.b, set.c};
    if (const auto found = m_aggregates.find(key); found != m_aggregates.end())
        return found->second;
    const ExprValue value = computeAggregate(kind, source, name, set);
    m_aggregates.emplace(key, value);
    return value;
}

template <class Visit>
void LayoutContext::visitRows(const RowSet& set, bool withMaster, Visit&& visit) const
{
    if (set.mode == RowSet::AllMaster || set.mode == RowSet::MasterRange) {
        const int last = static_cast<int>(m_data.masterRows.size()) - 1;
        for (int m = set.mode == RowSet::MasterRange ? std::max(set.a, 0) : 0;
             m <= (set.mode == RowSet::MasterRange ? std::min(set.b, last) : last); ++m)
            visit(m, -1);
        return;
    }
    const DetailTable* table = set.table;
    if (!table)
        return;
    auto visitGroup = [&](int master) {
        if (master >= 0 && static_cast<size_t>(master) < table->groups.size())
            for (int index : table->groups[static_cast<size_t>(master)])
                visit(master, index);
    };
    switch (set.mode) {
    case RowSet::DetailSlice:
        for (int position = set.b; position <= set.c; ++position)
            visit(set.a, set.slice ? (*set.slice)[static_cast<size_t>(position)] : position);
        break;
    case RowSet::DetailMasterRange:
        for (int m = set.a; m <= set.b; ++m)
            visitGroup(m);
        break;
    case RowSet::DetailOfMaster:
        visitGroup(set.a);
        break;
    default: {
        // All rows in the order of the data, which need not be the order of their master rows.
        std::vector<int> masterOf;
        if (withMaster && m_data.hasMaster) {
            masterOf.assign(table->rows.size(), -1);
            for (size_t m = 0; m < table->groups.size(); ++m)
                for (int index : table->groups[m])
                    masterOf[static_cast<size_t>(index)] = static_cast<int>(m);
        }
        for (size_t index = 0; index < table->rows.size(); ++index)
            visit(masterOf.empty() ? -1 : masterOf[index], static_cast<int>(index));
    }
    }
}

ExprValue LayoutContext::computeAggregate(AggregateKind kind, const QString& source, const QString& name, const RowSet& set)
{
    std::vector<const DataRow*> rows;
    if (isMasterName(source)) {
        visitRows(set, false, [&](int master, int) { rows.push_back(&m_data.masterRows[static_cast<size_t>(master)]); });
    } else if (const DetailTable* table = set.table) {
        visitRows(set, false, [&](int, int row) { rows.push_back(&table->rows[static_cast<size_t>(row)]); });
        if (!name.isEmpty() && !table->rows.empty() && !containsName(table->fieldNames, name))
            tell(QStringLiteral("The data has no field \"%1.%2\"; its cells print empty").arg(source, name));
    } else if (!m_data.empty()) {
        tell(QStringLiteral("The data has no detail \"%1\"; its cells print empty").arg(source));
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

ExprValue LayoutContext::total(AggregateKind kind, const QString& source, const QString& name)
{
    const auto found = std::find_if(m_totals.begin(), m_totals.end(), [&](const Total& total) {
        return total.source.compare(source, Qt::CaseInsensitive) == 0 && total.field.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (found == m_totals.end())
        return {}; // outside a sheet's layout (a hyperlink's text, an edited input): no rows are placed
    const bool page = kind == AggregateKind::PageSum || kind == AggregateKind::PageCount;
    double value = page ? found->page : found->running;
    // A row's own band sees the row in the total before the row is placed on its page.
    const DataRow* current = nullptr;
    if (isMasterName(source)) {
        if (scope.masterIndex >= 0 && scope.masterFirst < 0 && !scope.pageBand && scope.masterIndex != m_lastMaster
            && static_cast<size_t>(scope.masterIndex) < m_data.masterRows.size())
            current = &m_data.masterRows[static_cast<size_t>(scope.masterIndex)];
    } else if (scope.detail && scope.detailRow >= 0 && scope.rowFirst < 0
               && scope.detail->id.compare(source, Qt::CaseInsensitive) == 0) {
        const auto last = std::find_if(m_lastDetailRows.begin(), m_lastDetailRows.end(),
                                       [&](const auto& entry) { return entry.first == scope.detail; });
        if (last == m_lastDetailRows.end() || last->second != scope.detailRow)
            current = &scope.detail->rows[static_cast<size_t>(scope.detailRow)];
    }
    if (current)
        value += isCountKind(kind) ? 1.0 : current->number(name).value_or(0.0);
    return ExprValue::fromNumber(value);
}

void LayoutContext::placeRow(const QString& source, const DataRow& row)
{
    for (Total& total : m_totals) {
        if (total.source.compare(source, Qt::CaseInsensitive) != 0)
            continue;
        const double value = total.field.isEmpty() ? 1.0 : row.number(total.field).value_or(0.0);
        total.running += value;
        total.page += value;
    }
}

void LayoutContext::rowPlaced(int masterIndex)
{
    if (masterIndex < 0 || static_cast<size_t>(masterIndex) >= m_data.masterRows.size() || masterIndex == m_lastMaster)
        return;
    m_lastMaster = masterIndex;
    placeRow(QStringLiteral("Master"), m_data.masterRows[static_cast<size_t>(masterIndex)]);
}

void LayoutContext::rowPlaced(const DetailTable& table, int row)
{
    auto last = std::find_if(m_lastDetailRows.begin(), m_lastDetailRows.end(), [&](const auto& entry) { return entry.first == &table; });
    if (last == m_lastDetailRows.end()) {
        m_lastDetailRows.emplace_back(&table, -1);
        last = std::prev(m_lastDetailRows.end());
    }
    if (last->second == row)
        return;
    last->second = row;
    placeRow(table.id, table.rows[static_cast<size_t>(row)]);
}

void LayoutContext::pageStarted()
{
    for (Total& total : m_totals)
        total.page = 0;
}

ExprValue LayoutContext::call(const QString& name, const std::vector<ExprValue>& args)
{
    if (m_hooks.customFunction)
        if (std::optional<ExprValue> result = m_hooks.customFunction(name, args))
            return *result;
    tell(QStringLiteral("The function \"%1\" is not known; its cells print empty").arg(name));
    return {};
}

ExprValue LayoutContext::parameter(const QString& name)
{
    const auto found = m_hooks.parameters.constFind(name.toLower());
    return found == m_hooks.parameters.constEnd() ? ExprValue{} : *found;
}

ExprValue LayoutContext::evaluate(const TextSegment& segment)
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

ExprValue LayoutContext::evaluate(const Expression& expression)
{
    m_current = &expression;
    m_ordinal = 0;
    return evaluateExpression(expression, *this);
}

QString LayoutContext::cellText(const std::vector<TextSegment>& segments, const CellStyle& style, QString* value)
{
    QString text;
    int expressions = 0;
    for (const TextSegment& segment : segments) {
        if (segment.kind == TextSegment::Literal) {
            text += segment.text;
            continue;
        }
        const ExprValue result = evaluate(segment);
        // A count (of the band's rows, running or on the page) is a whole number whatever the cell's
        // decimals say.
        const bool count = segment.kind == TextSegment::Count
            || (segment.expression && segment.expression->kind == Expression::Aggregate && isCountKind(segment.expression->aggregate));
        const int decimals = count ? -1 : style.decimals;
        text += formatValue(result, style.format, decimals);
        if (value && ++expressions == 1)
            *value = result.toText();
    }
    if (value && expressions > 1)
        *value = text;
    return text;
}

bool LayoutContext::forEachScopeRow(const QString& source, const std::function<void(const Scope& row)>& visit)
{
    const RowSet set = rowsOf(source);
    if (!isMasterName(source) && !set.table)
        return m_data.empty(); // no data yet: no rows, and nothing wrong with the source
    visitRows(set, true, [&](int master, int row) {
        Scope one;
        one.masterIndex = master;
        if (row >= 0) {
            one.detail = set.table;
            one.detailRow = row;
        }
        visit(one);
    });
    return true;
}

std::shared_ptr<const PageGraphic>& LayoutContext::scopedGraphic(const void* maker, const QString& source)
{
    const RowSet set = rowsOf(source);
    return m_graphics[AggregateKey{maker, 0, set.mode, set.a, set.b, set.c}];
}

void LayoutContext::tell(const QString& message)
{
    if (m_told.contains(message))
        return;
    m_told.insert(message);
    if (m_hooks.prompt)
        m_hooks.prompt(message);
}

} // namespace vl
