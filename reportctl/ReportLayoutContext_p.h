#pragma once
// What the layout's expressions read: fields of the current rows, aggregates over a band's rows, the
// running and page totals of the rows placed so far, parameters and the host's functions.

#include "ReportLayout.h"

#include <QSet>

#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vl {

// Page number and count are known only when a page closes and when the report ends; these
// private-use characters hold their place until then.
inline constexpr char16_t PageNumberMark = u'\uE000';
inline constexpr char16_t PageCountMark = u'\uE001';

bool isMasterName(const QString& source);

// What the expressions of a band see: the current master row and detail row, and for a group band the
// rows of its group.
struct Scope {
    int masterIndex = -1;
    const DetailTable* detail = nullptr;
    int detailRow = -1;
    // A band of a group of master rows: the group's master rows, first to last.
    int masterFirst = -1, masterLast = -1;
    // A band of a group of detail rows: positions first to last in `groupRows` (the rows of `detail`
    // under the current master row; null: all rows of `detail`).
    const std::vector<int>* groupRows = nullptr;
    int rowFirst = -1, rowLast = -1;
    // A page header: it shows the master row it stands by, but that row is not its own, so the
    // running totals leave it out until its band is placed.
    bool pageBand = false;
};

class LayoutContext final : public ExpressionContext {
public:
    // `sheet` names the running and page totals to keep; it may be null (no totals kept).
    LayoutContext(const ReportDataSet& data, LayoutHooks& hooks, const TemplateSheet* sheet = nullptr);

    Scope scope;

    ExprValue field(const QString& source, const QString& name) override;
    ExprValue aggregate(AggregateKind kind, const QString& source, const QString& name) override;
    ExprValue pageNumber() override { return ExprValue::fromText(QString(QChar(PageNumberMark))); }
    ExprValue pageCount() override { return ExprValue::fromText(QString(QChar(PageCountMark))); }
    QDateTime printTime() override { return m_printTime; }
    ExprValue call(const QString& name, const std::vector<ExprValue>& args) override;
    ExprValue parameter(const QString& name) override;

    // Evaluates one segment, or one expression of a band or cell; the address keys the aggregate cache.
    ExprValue evaluate(const TextSegment& segment);
    ExprValue evaluate(const Expression& expression);

    // The cell's text; `value` gets the value of a cell with one expression, for the display event.
    QString cellText(const std::vector<TextSegment>& segments, const CellStyle& style, QString* value = nullptr);

    // A master row or a detail row has been placed: the running and page totals take it in.
    void rowPlaced(int masterIndex);
    void rowPlaced(const DetailTable& table, int row);
    // A page begins: the page totals start again.
    void pageStarted();

    // Tells a problem once per layout.
    void tell(const QString& message);

    // Calls `visit` with each row that an aggregate over `source` runs over in the current scope, in the
    // order of the data, each as the scope of a band of that row alone (its master row, and its detail
    // row for a detail). `visit` may change `scope`; the caller restores it. False, with no call, for a
    // source that is neither Master nor a detail of the data; true without a call when there is no data.
    bool forEachScopeRow(const QString& source, const std::function<void(const Scope& row)>& visit);
    // A graphic made from the rows of `source` in the current scope, kept for `maker` (a template item)
    // and that row set: bands that repeat over one row set make it once. Null until the caller sets it.
    std::shared_ptr<const PageGraphic>& scopedGraphic(const void* maker, const QString& source);

private:
    struct RowSet;
    struct AggregateKey {
        const void* expression;
        int ordinal;
        int mode, a, b, c;
        bool operator==(const AggregateKey&) const = default;
    };
    struct AggregateKeyHash {
        size_t operator()(const AggregateKey& key) const;
    };
    // A running or page total of one field (or a count, with no field) over one source.
    struct Total {
        QString source, field;
        double running = 0, page = 0;
    };

    RowSet rowsOf(const QString& source) const;
    // Calls visit(masterIndex, row) for each row of the set; a detail row's master index is -1 unless
    // `withMaster` asks for it.
    template <class Visit>
    void visitRows(const RowSet& set, bool withMaster, Visit&& visit) const;
    ExprValue computeAggregate(AggregateKind kind, const QString& source, const QString& name, const RowSet& set);
    ExprValue total(AggregateKind kind, const QString& source, const QString& name);
    void placeRow(const QString& source, const DataRow& row);

    const ReportDataSet& m_data;
    LayoutHooks& m_hooks;
    QDateTime m_printTime;
    const void* m_current = nullptr;
    int m_ordinal = 0;
    std::unordered_map<AggregateKey, ExprValue, AggregateKeyHash> m_aggregates;
    std::unordered_map<AggregateKey, std::shared_ptr<const PageGraphic>, AggregateKeyHash> m_graphics;
    std::vector<Total> m_totals;
    // The last row placed, per source: a band of that row sees its own value in the totals once.
    int m_lastMaster = -1;
    std::vector<std::pair<const DetailTable*, int>> m_lastDetailRows;
    QSet<QString> m_told;
};

} // namespace vl
