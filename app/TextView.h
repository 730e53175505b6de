#pragma once
// A text box for very long texts, such as a data document of one 176 MB line: it lays out only the
// lines on screen. The line starts are found ahead of the view in slices of a few
// milliseconds while the event loop is idle, so the window never waits for the whole text; until
// they are all known the scroll range is an estimate from the lines found so far. An edit drops
// only the line starts from the edited line on; the search goes on from there.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace vl
{

class TextView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit TextView(QWidget* parent = nullptr);
    ~TextView() override;

    // Replaces the whole text; the view returns to its first line.
    void setPlainText(const QString& text);
    const QString& toPlainText() const { return m_text; }

    // WidgetWidth breaks lines at blanks (or anywhere in a word longer than the view) to fit the
    // view's width; NoWrap only at line feeds.
    QPlainTextEdit::LineWrapMode lineWrapMode() const { return m_wrapMode; }
    void setLineWrapMode(QPlainTextEdit::LineWrapMode mode);
    // A read-only box still moves its caret and scrolls, but refuses edits.
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    bool tabChangesFocus() const { return m_tabChangesFocus; }
    void setTabChangesFocus(bool changes) { m_tabChangesFocus = changes; }

    // The lines found so far, and whether they are all.
    qsizetype knownLineCount() const { return static_cast<qsizetype>(m_lineStarts.size()); }
    bool layoutComplete() const { return m_complete; }
    // Finds line starts for at most `budgetNs` nanoseconds; true once all are known.
    bool layoutFor(qint64 budgetNs);
    // The text of a line found so far, without its line feed.
    QString lineText(qsizetype line) const;
    qsizetype lineStart(qsizetype line) const { return m_lineStarts.at(static_cast<std::size_t>(line)); }
    // Characters measured by the line search since the box was made: what an edit costs.
    qsizetype layoutWork() const { return m_layoutWork; }

    // The caret, an offset into the text; setting it scrolls it into view.
    qsizetype cursorPosition() const { return m_caret; }
    void setCursorPosition(qsizetype position);
    // Where the caret is drawn, in viewport coordinates.
    QRect cursorRect();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    void restartLayout();
    void updateScrollBars();
    qreal advanceOf(char16_t c);
    qreal wrapWidth() const;
    qsizetype lineEnd(qsizetype line) const;
    qreal advanceAt(qsizetype offset);
    qsizetype characterLength(qsizetype offset) const;
    qsizetype previousCharacter(qsizetype offset) const;
    // The line holding `offset`, laying out as far as needed to know it.
    qsizetype lineOf(qsizetype offset);
    // The last place for the caret in a line: before its line feed, or before the last character
    // of a wrapped line, whose end is the next line's start.
    qsizetype caretEnd(qsizetype line) const;
    qreal xInLine(qsizetype line, qsizetype offset);
    qsizetype offsetAtX(qsizetype line, qreal x);
    int visibleLines() const;
    void moveCaret(qsizetype position, bool keepGoalX = false);
    void ensureCaretVisible();
    void replace(qsizetype position, qsizetype removed, const QString& inserted);
    void restartBlink();

    QString m_text;
    QPlainTextEdit::LineWrapMode m_wrapMode = QPlainTextEdit::WidgetWidth;
    bool m_tabChangesFocus = false;
    bool m_readOnly = false;
    qsizetype m_caret = 0;
    qreal m_goalX = -1; // the column Up and Down keep, or -1
    bool m_caretShown = true;
    QTimer m_blink;
    qsizetype m_layoutWork = 0;
    // Start offsets of the lines found so far; the search goes on from m_scanned.
    std::vector<qsizetype> m_lineStarts;
    qsizetype m_scanned = 0;
    qreal m_scannedWidth = 0; // width of the current line up to m_scanned
    qsizetype m_lastBreak = -1; // offset after the current line's last blank, or -1
    qreal m_widthAtBreak = 0;
    qreal m_longestLine = 0;
    bool m_complete = true;
    qreal m_layoutWidth = 0;
    QTimer m_continue;
    // Advances of the characters met, by code unit; 0 until measured.
    std::unique_ptr<float[]> m_advances;
};

} // namespace vl
