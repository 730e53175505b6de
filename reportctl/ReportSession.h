#pragma once
// One open report: its template, its data, the layout of each sheet, the pages laid out so far and the
// undo of input edits. It knows nothing of the component layer; the control, the tools and a designer
// are its clients, and hear what happens through a ReportSessionObserver.

#include "ReportData.h"
#include "ReportLayout.h"
#include "ReportTemplate.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class QTimer;

namespace vl {

// What a session tells its client. Every method has a default that does nothing, so a client listens
// to what it needs. Calls come on the session's thread, inside the operation that caused them.
class ReportSessionObserver {
public:
    virtual ~ReportSessionObserver() = default;
    virtual void dataLoaded() {}
    virtual void dataLoadFailed(const QString& /*message*/) {}
    // A problem that fails no call (a field the data lacks); held back while a layout runs.
    virtual void prompted(const QString& /*message*/) {}
    // The text to show for a bound cell instead of its own; nullopt keeps the cell's text.
    virtual std::optional<QString> displayValue(const PageItem& /*item*/) { return std::nullopt; }
    virtual void inputEntered(const PageItem& /*item*/) {}
    virtual void inputLeft(const PageItem& /*item*/) {}
    virtual void inputChanged(const PageItem& /*item*/, const QString& /*oldValue*/, const QString& /*newValue*/) {}
    virtual void hyperlinkClicked(const PageItem& /*item*/) {}
    // A template function that is not built in; nullopt when the client does not know it either.
    virtual std::optional<ExprValue> customFunction(const QString& /*name*/, const std::vector<ExprValue>& /*args*/)
    {
        return std::nullopt;
    }
    // The active sheet has a new layout (or none): whatever shows its pages should take them again.
    virtual void pagesReplaced() {}
    // The active sheet's layout went on in the background: pages finished so far, and whether it ended.
    virtual void layoutProgressed(int /*pageCount*/, bool /*done*/) {}
    // The page a view shows, and a request to show one; a session without a view keeps its own index.
    virtual std::optional<int> viewedPage() const { return std::nullopt; }
    virtual void showPage(int /*page*/) {}
};

// The answer of a session operation: ok, or why not and of which kind.
struct SessionResult {
    // Refused: a name or value the operation does not take (an unknown parameter, a value of the wrong type).
    enum Code { Ok, Failed, NoSuchSheet, Busy, Refused };
    Code code = Ok;
    QString message; // empty when ok
    explicit operator bool() const { return code == Ok; }
};

// A parameter the open template declares, with the value it has now (Empty when it has none).
struct SessionParameter {
    QString name;
    ParameterType type = ParameterType::Text;
    ExprValue value;
};

// Where a sheet streamed to paper goes (ReportSession::streamSheet). A false answer stops the stream.
// Pages the streaming pass lays out ahead of the one it hands to the sink.
inline constexpr int StreamLookahead = 4;

class PageSink {
public:
    virtual ~PageSink() = default;
    // Before the first page: the sheet laid out (its paper, its bands) and how many pages it has.
    virtual bool begin(const TemplateSheet& sheet, int pageCount) = 0;
    // Each page in order, display values applied; the sink may take the page's contents.
    virtual bool page(LaidOutPage& page, int index) = 0;
};

class ReportSession {
public:
    // ForView lays the active sheet out as soon as template or data change, the first pages at once
    // and the rest in idle time; OnDemand lays out only when asked (layoutSheet).
    enum class LayoutMode { ForView, OnDemand };
    // The observer, if any, must outlive the session; null listens to nothing.
    explicit ReportSession(ReportSessionObserver* observer = nullptr, LayoutMode mode = LayoutMode::ForView);
    ~ReportSession();
    ReportSession(const ReportSession&) = delete;
    ReportSession& operator=(const ReportSession&) = delete;

    // Reads the template file; on failure the session keeps what it had.
    SessionResult openTemplate(const QString& path);
    SessionResult closeTemplate();
    // Reads a data document in place: on failure the data stay as they were and dataLoadFailed is told.
    SessionResult loadData(QStringView text);
    SessionResult loadData(std::string_view utf8);
    SessionResult clearData();
    SessionResult setActiveSheet(const QString& name);
    // Drops every layout and lays the active sheet out anew (no-op while a layout runs).
    void relayout();
    // Lays a whole sheet (empty: the active one) out for paper, display values applied. The pages
    // refer to the session's template or data sheet: use them before the session changes.
    SessionResult layoutSheet(const QString& sheetName, LaidOutReport& out);
    // Lays a sheet out for paper as layoutSheet does, but hands each page to `sink` as soon as it is
    // finished and keeps none: memory stays flat however long the report. A first pass counts the
    // pages for [Pages], so custom functions are called twice per cell. Failed with an empty message
    // when the sink stopped it.
    SessionResult streamSheet(const QString& sheetName, PageSink& sink);
    // Lays the active sheet out to its end; false when there is nothing to do or a layout runs.
    bool finishLayout();
    // As finishLayout, but leaves the background layout's timer alone; true when pages were added.
    bool layoutRemaining();
    // Lays out at least `pages` pages of the active sheet, unless a layout runs.
    void layoutUntil(int pages);

    // Writes a new value into an input cell's field; records it for undo when undo is on. Tells
    // inputChanged and lays out anew. False when nothing changed.
    bool commitInput(const PageItem& item, const QString& text);
    // Takes back the last input edit; false when there is none or a layout runs.
    bool undoInput();
    void setUndoEnabled(bool enabled);
    void setCacheEnabled(bool enabled);
    void setAsynchronous(bool asynchronous);

    void enterInput(const PageItem& item);
    void leaveInput(const PageItem& item);
    void clickHyperlink(const PageItem& item);

    // The open template's parameters in the order it declares them; their values start as the defaults
    // when the template opens, and stay across data loads until another template opens.
    std::vector<SessionParameter> parameters() const;
    // The current value of the parameter of that name (any letter case); nullopt when none is declared.
    std::optional<ExprValue> parameter(const QString& name) const;
    // Sets a parameter from text of its type (parameterValue), drops every sheet's layout as a data load
    // does and lays the active one out anew, the view staying on its page. Refused, naming parameter and
    // value, for an unknown name or text of the wrong type; Busy while a layout runs.
    SessionResult setParameter(const QString& name, const QString& text);

    // Tells a message once per template and data; tellAlways tells it every time.
    void prompt(const QString& message);
    void tellAlways(const QString& message);

    const std::optional<ReportTemplate>& reportTemplate() const { return m_template; }
    const QString& templateFileName() const { return m_templateFile; }
    const ReportDataSet& data() const { return m_data; }
    QString activeSheet() const;
    // The active sheet's layouter; null when it has none (a template without that sheet).
    const ReportLayouter* layouter() const { return m_layouter.get(); }
    int pageIndex() const { return m_pageIndex; }
    void setPageIndex(int index) { m_pageIndex = index; }
    bool layingOut() const { return m_layoutDepth > 0; }
    static SessionResult busy();
    static SessionResult noSuchParameter(const QString& name);

private:
    friend class SessionLayoutGuard;
    const TemplateSheet* sheetFor(const QString& name, TemplateSheet& fallback) const;
    LayoutHooks layoutHooks();
    SessionResult layoutInto(const TemplateSheet& sheet, LaidOutReport& out);
    template <class Text>
    SessionResult loadDataText(Text text);
    void showActiveSheet();
    void layoutSlice();
    void flushPrompts();
    bool setFieldValue(const QString& source, int masterIndex, int rowIndex, const QString& field, const QString& value);
    void relayoutKeepingPage();

    ReportSessionObserver m_silent;
    ReportSessionObserver* m_observer;
    LayoutMode m_mode;
    std::optional<ReportTemplate> m_template;
    QString m_templateFile;
    QString m_activeSheet;
    ReportDataSet m_data;
    TemplateSheet m_defaultSheet; // the sheet of data without a template; layouts refer to it
    TemplateSheet m_paperSheet; // the same for layoutSheet and layoutDataSheet; their pages refer to it
    std::unique_ptr<ReportLayouter> m_layouter; // the active sheet's
    std::map<QString, std::unique_ptr<ReportLayouter>> m_sheetCache; // other sheets, by lower-case name
    std::unique_ptr<QTimer> m_layoutTimer;
    QSet<QString> m_told;
    struct InputChange {
        QString source, field;
        int masterIndex, rowIndex;
        QString oldValue;
    };
    std::vector<InputChange> m_undo;
    QHash<QString, ExprValue> m_parameters; // by lower-case name, as the layout reads them
    bool m_undoEnabled = true, m_cacheEnabled = true, m_asynchronous = true;
    int m_pageIndex = 0;
    // Layout calls back into the client (custom functions). While it runs, nothing the layout reads may
    // change and a nested event loop must not lay out again; prompts wait until it ends.
    int m_layoutDepth = 0;
    std::vector<QString> m_pendingPrompts;
};

} // namespace vl
