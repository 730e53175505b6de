#include "ReportSession.h"

#include <QTimer>

#include <limits>

namespace vl {

class SessionLayoutGuard {
public:
    explicit SessionLayoutGuard(ReportSession& session) : m_session(session) { ++m_session.m_layoutDepth; }
    ~SessionLayoutGuard()
    {
        if (--m_session.m_layoutDepth == 0)
            m_session.flushPrompts();
    }
    SessionLayoutGuard(const SessionLayoutGuard&) = delete;
    SessionLayoutGuard& operator=(const SessionLayoutGuard&) = delete;

private:
    ReportSession& m_session;
};

ReportSession::ReportSession(ReportSessionObserver* observer, LayoutMode mode)
    : m_observer(observer ? observer : &m_silent), m_mode(mode)
{
}

ReportSession::~ReportSession() = default;

SessionResult ReportSession::busy()
{
    return {SessionResult::Busy, QStringLiteral("The report cannot change while it is being laid out")};
}

SessionResult ReportSession::noSuchParameter(const QString& name)
{
    return {SessionResult::Refused, QStringLiteral("The template has no parameter \"%1\"").arg(name.left(64))};
}

SessionResult ReportSession::openTemplate(const QString& path)
{
    if (layingOut())
        return busy();
    ReportTemplate parsed;
    const ParseResult result = loadTemplateFile(path, parsed);
    if (!result.ok)
        return {SessionResult::Failed, result.message};
    m_sheetCache.clear();
    m_layouter.reset(); // it refers to the old template's sheets
    m_template = std::move(parsed);
    m_templateFile = path;
    m_parameters.clear();
    for (const TemplateParameter& declared : m_template->parameters)
        m_parameters.insert(declared.name.toLower(), declared.defaultValue);
    m_activeSheet.clear();
    m_pageIndex = 0;
    m_told.clear();
    relayout();
    return {};
}

SessionResult ReportSession::closeTemplate()
{
    if (layingOut())
        return busy();
    m_sheetCache.clear();
    m_layouter.reset();
    m_template.reset();
    m_templateFile.clear();
    m_parameters.clear();
    m_activeSheet.clear();
    m_told.clear();
    relayout();
    return {};
}

SessionResult ReportSession::setActiveSheet(const QString& name)
{
    if (layingOut())
        return busy();
    if (!m_template || !m_template->sheet(name))
        return {SessionResult::NoSuchSheet, QStringLiteral("The template has no sheet \"%1\"").arg(name)};
    const QString target = m_template->sheet(name)->name;
    if (target == activeSheet() && m_layouter)
        return {};
    if (m_layouter && m_cacheEnabled)
        m_sheetCache[activeSheet().toLower()] = std::move(m_layouter);
    m_layouter.reset();
    m_activeSheet = target;
    m_pageIndex = 0;
    showActiveSheet();
    m_observer->showPage(0);
    return {};
}

template <class Text>
SessionResult ReportSession::loadDataText(Text text)
{
    if (layingOut())
        return busy();
    // Read into the data in place: on failure they stay as they are, on success the new text goes
    // into the storage of the old one. Nothing reads the old rows until the layout is reset below.
    const ParseResult result = parseDataDocument(text, m_data);
    if (!result.ok) {
        m_observer->dataLoadFailed(result.message);
        return {SessionResult::Failed, result.message};
    }
    m_sheetCache.clear();
    m_layouter.reset(); // it referred to the old data
    m_pageIndex = 0;
    m_told.clear();
    m_undo.clear();
    relayout();
    m_observer->showPage(0);
    m_observer->dataLoaded();
    return {};
}

SessionResult ReportSession::loadData(QStringView text)
{
    return loadDataText(text);
}

SessionResult ReportSession::loadData(std::string_view utf8)
{
    return loadDataText(utf8);
}

SessionResult ReportSession::clearData()
{
    if (layingOut())
        return busy();
    m_sheetCache.clear();
    m_layouter.reset();
    m_data = ReportDataSet{};
    m_undo.clear();
    m_told.clear();
    relayout();
    return {};
}

QString ReportSession::activeSheet() const
{
    if (!m_activeSheet.isEmpty())
        return m_activeSheet;
    if (m_template && !m_template->sheets.empty())
        return m_template->sheets.front().name;
    return QStringLiteral("Sheet1");
}

const TemplateSheet* ReportSession::sheetFor(const QString& name, TemplateSheet& fallback) const
{
    if (!m_template) {
        fallback = defaultSheet(m_data);
        return &fallback;
    }
    return m_template->sheet(name.isEmpty() ? activeSheet() : name);
}

LayoutHooks ReportSession::layoutHooks()
{
    LayoutHooks hooks;
    hooks.prompt = [this](const QString& message) { prompt(message); };
    hooks.customFunction = [this](const QString& name, const std::vector<ExprValue>& args) {
        return m_observer->customFunction(name, args);
    };
    hooks.parameters = m_parameters;
    return hooks;
}

SessionResult ReportSession::layoutSheet(const QString& sheetName, LaidOutReport& out)
{
    if (layingOut() && !m_template)
        return busy(); // the sheet below is the one the running layout reads
    const TemplateSheet* sheet = sheetFor(sheetName, m_paperSheet);
    if (!sheet)
        return {SessionResult::NoSuchSheet, QStringLiteral("The template has no sheet \"%1\"").arg(sheetName)};
    return layoutInto(*sheet, out);
}

SessionResult ReportSession::streamSheet(const QString& sheetName, PageSink& sink)
{
    if (layingOut())
        return busy();
    const TemplateSheet* sheet = sheetFor(sheetName, m_paperSheet);
    if (!sheet)
        return {SessionResult::NoSuchSheet, QStringLiteral("The template has no sheet \"%1\"").arg(sheetName)};
    LayoutHooks hooks = layoutHooks();
    hooks.printTime = QDateTime::currentDateTime(); // both passes print the same [Date] and [Now]
    int pageCount = 0;
    {
        SessionLayoutGuard guard(*this);
        // The pass that counts tells nothing (the pass that prints tells the same once) and draws nothing.
        LayoutHooks counting = hooks;
        counting.prompt = nullptr;
        counting.makeGraphics = false;
        ReportLayouter counter(*sheet, m_data, std::move(counting));
        for (bool done = false; !done;) {
            done = counter.layoutUntil(pageCount + 1);
            while (pageCount < counter.pageCount())
                counter.takePage(pageCount++);
        }
    }
    if (!sink.begin(*sheet, pageCount))
        return {SessionResult::Failed, QString()};
    ReportLayouter layouter(*sheet, m_data, hooks);
    for (int index = 0; index < pageCount; ++index) {
        {
            SessionLayoutGuard guard(*this);
            // A few pages ahead of the one painted, so that what is made beside the layout (barcodes) is
            // ready when its page is painted; the pages ahead are all that is kept.
            layouter.layoutUntil(index + 1 + StreamLookahead);
        }
        LaidOutPage page = layouter.takePage(index, pageCount);
        for (PageItem& item : page.items)
            if (std::optional<QString> shown = m_observer->displayValue(item))
                item.text = *shown;
        if (!sink.page(page, index))
            return {SessionResult::Failed, QString()};
    }
    return {};
}

SessionResult ReportSession::layoutInto(const TemplateSheet& sheet, LaidOutReport& out)
{
    if (layingOut())
        return busy();
    // The same walk as the screen's, so print and PDF break pages at the same rows.
    {
        SessionLayoutGuard guard(*this);
        out = layoutReport(sheet, m_data, layoutHooks());
    }
    // And the same texts: what a client shows instead of a value it shows on paper too.
    for (LaidOutPage& page : out.pages)
        for (PageItem& item : page.items)
            if (std::optional<QString> shown = m_observer->displayValue(item))
                item.text = *shown;
    return {};
}

void ReportSession::relayout()
{
    if (layingOut())
        return; // the layout in progress reads what would be dropped
    m_sheetCache.clear();
    m_layouter.reset();
    if (m_mode == LayoutMode::ForView)
        showActiveSheet();
}

void ReportSession::showActiveSheet()
{
    if (m_layoutTimer)
        m_layoutTimer->stop();
    const QString key = activeSheet().toLower();
    if (!m_layouter) {
        if (auto cached = m_sheetCache.find(key); cached != m_sheetCache.end()) {
            m_layouter = std::move(cached->second);
            m_sheetCache.erase(cached);
        }
    }
    if (!m_layouter) {
        const TemplateSheet* sheet = sheetFor(QString(), m_defaultSheet);
        if (sheet) {
            SessionLayoutGuard guard(*this);
            m_layouter = std::make_unique<ReportLayouter>(*sheet, m_data, layoutHooks());
            // The first pages now, so that the view shows them at once; the rest in idle time.
            m_layouter->layoutUntil(std::max(2, m_pageIndex + 1));
            if (!m_asynchronous)
                m_layouter->layoutUntil(std::numeric_limits<int>::max());
        }
    }
    m_observer->pagesReplaced();
    if (m_layouter && !m_layouter->done()) {
        if (!m_layoutTimer) {
            m_layoutTimer = std::make_unique<QTimer>();
            m_layoutTimer->setInterval(0);
            QObject::connect(m_layoutTimer.get(), &QTimer::timeout, [this] { layoutSlice(); });
        }
        m_layoutTimer->start();
    }
}

void ReportSession::layoutSlice()
{
    if (layingOut())
        return; // a client's event loop inside a callback of the layout: the slice after it goes on
    bool done = true;
    if (m_layouter) {
        SessionLayoutGuard guard(*this);
        done = m_layouter->layoutFor(25);
    }
    if (done && m_layoutTimer)
        m_layoutTimer->stop();
    if (m_layouter)
        m_observer->layoutProgressed(m_layouter->pageCount(), m_layouter->done());
}

bool ReportSession::finishLayout()
{
    if (!m_layouter || layingOut())
        return false;
    if (m_layoutTimer)
        m_layoutTimer->stop();
    {
        SessionLayoutGuard guard(*this);
        m_layouter->layoutUntil(std::numeric_limits<int>::max());
    }
    m_observer->layoutProgressed(m_layouter->pageCount(), true);
    return true;
}

bool ReportSession::layoutRemaining()
{
    if (!m_layouter || m_layouter->done() || layingOut())
        return false;
    {
        SessionLayoutGuard guard(*this);
        m_layouter->layoutUntil(std::numeric_limits<int>::max());
    }
    return true;
}

void ReportSession::layoutUntil(int pages)
{
    if (!m_layouter || layingOut())
        return;
    SessionLayoutGuard guard(*this);
    m_layouter->layoutUntil(pages);
}

bool ReportSession::setFieldValue(const QString& source, int masterIndex, int rowIndex, const QString& field,
                                  const QString& value)
{
    DataRow* row = nullptr;
    if (source.compare(u"Master", Qt::CaseInsensitive) == 0) {
        if (masterIndex >= 0 && static_cast<size_t>(masterIndex) < m_data.masterRows.size())
            row = &m_data.masterRows[static_cast<size_t>(masterIndex)];
    } else {
        for (DetailTable& table : m_data.details)
            if (table.id.compare(source, Qt::CaseInsensitive) == 0 && rowIndex >= 0
                && static_cast<size_t>(rowIndex) < table.rows.size())
                row = &table.rows[static_cast<size_t>(rowIndex)];
    }
    if (!row)
        return false;
    row->setValue(field, value);
    return true;
}

void ReportSession::relayoutKeepingPage()
{
    const int page = m_observer->viewedPage().value_or(m_pageIndex);
    m_pageIndex = page;
    relayout();
    m_observer->showPage(page);
}

bool ReportSession::commitInput(const PageItem& item, const QString& text)
{
    if (!item.cell || layingOut())
        return false;
    const QString bound = item.cell->boundField();
    const qsizetype dot = bound.indexOf(u'.');
    const QString source = bound.left(dot), field = bound.mid(dot + 1);
    const QString old = item.value;
    if (text == old || !setFieldValue(source, item.masterIndex, item.rowIndex, field, text))
        return false;
    if (m_undoEnabled)
        m_undo.push_back(InputChange{source, field, item.masterIndex, item.rowIndex, old});
    m_observer->inputChanged(item, old, text);
    // Totals and every other cell that shows the field follow the edit.
    relayoutKeepingPage();
    return true;
}

bool ReportSession::undoInput()
{
    if (layingOut() || !m_undoEnabled || m_undo.empty())
        return false;
    const InputChange change = m_undo.back();
    m_undo.pop_back();
    if (!setFieldValue(change.source, change.masterIndex, change.rowIndex, change.field, change.oldValue))
        return false;
    relayoutKeepingPage();
    return true;
}

void ReportSession::setUndoEnabled(bool enabled)
{
    m_undoEnabled = enabled;
    if (!enabled)
        m_undo.clear();
}

void ReportSession::setCacheEnabled(bool enabled)
{
    m_cacheEnabled = enabled;
    if (!enabled)
        m_sheetCache.clear();
}

void ReportSession::setAsynchronous(bool asynchronous)
{
    m_asynchronous = asynchronous;
}

void ReportSession::enterInput(const PageItem& item)
{
    m_observer->inputEntered(item);
}

void ReportSession::leaveInput(const PageItem& item)
{
    m_observer->inputLeft(item);
}

void ReportSession::clickHyperlink(const PageItem& item)
{
    m_observer->hyperlinkClicked(item);
}

std::vector<SessionParameter> ReportSession::parameters() const
{
    std::vector<SessionParameter> result;
    if (!m_template)
        return result;
    for (const TemplateParameter& declared : m_template->parameters)
        result.push_back({declared.name, declared.type, m_parameters.value(declared.name.toLower())});
    return result;
}

std::optional<ExprValue> ReportSession::parameter(const QString& name) const
{
    const auto found = m_parameters.constFind(name.toLower());
    if (found == m_parameters.constEnd())
        return std::nullopt;
    return *found;
}

SessionResult ReportSession::setParameter(const QString& name, const QString& text)
{
    if (layingOut())
        return busy();
    const TemplateParameter* declared = m_template ? m_template->parameter(name) : nullptr;
    if (!declared)
        return noSuchParameter(name);
    ExprValue value;
    QString reason;
    if (!parameterValue(declared->type, text, value, reason))
        return {SessionResult::Refused, QStringLiteral("Parameter \"%1\" is a %2: %3")
                                            .arg(declared->name, parameterTypeName(declared->type), reason)};
    m_parameters.insert(declared->name.toLower(), value);
    // Any sheet or total may read it, as they read the data; the view stays on its page.
    relayoutKeepingPage();
    return {};
}

void ReportSession::prompt(const QString& message)
{
    if (m_told.contains(message))
        return;
    m_told.insert(message);
    tellAlways(message);
}

void ReportSession::tellAlways(const QString& message)
{
    m_pendingPrompts.push_back(message);
    if (!layingOut())
        flushPrompts();
}

void ReportSession::flushPrompts()
{
    std::vector<QString> prompts;
    prompts.swap(m_pendingPrompts);
    for (const QString& message : prompts)
        m_observer->prompted(message);
}

} // namespace vl
