// The text box of the data document: it must lose no character, wrap within its width at blanks,
// find the lines of a long text in slices instead of all at once, and take edits at its caret
// without laying out a long text again.
#include "TextView.h"
#include "WidgetSuite.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "WidgetSuite.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

class TextViewTest : public vl::test::WidgetSuite
{
protected:
    void SetUp() override
    {
        view.resize(300, 200);
        view.show();
    }
    void finishLayout()
    {
        while (!view.layoutComplete())
            QApplication::processEvents();
    }
    QString joinedLines(const QString& separator = {}) const
    {
        QStringList lines;
        for (qsizetype i = 0; i < view.knownLineCount(); ++i)
            lines << view.lineText(i);
        return lines.join(separator);
    }

    void press(int key, const QString& text = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&view, &event);
    }
    void type(const QString& text)
    {
        for (QChar c : text)
            press(Qt::Key_unknown, QString(c));
    }
    void click(QPointF at)
    {
        QMouseEvent event(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &event);
    }
    std::vector<qsizetype> lineStarts(const vl::TextView& of) const
    {
        std::vector<qsizetype> starts;
        for (qsizetype i = 0; i < of.knownLineCount(); ++i)
            starts.push_back(of.lineStart(i));
        return starts;
    }

    std::unique_ptr<vl::TextView> viewOwner = std::make_unique<vl::TextView>();
    vl::TextView& view = *viewOwner;
};

// A document-shaped text: one line of rows with attributes, blanks between them.
QString documentLine(int rows)
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>");
    for (int i = 0; i < rows; ++i)
        text += QStringLiteral("<Row DeptNo=\"%1\" DeptName=\"部门 %1\" Note=\"a&amp;b\"/>").arg(i);
    return text + QStringLiteral("</Master></DocumentData>");
}

TEST_F(TextViewTest, WrappedLinesKeepEveryCharacterAndFitTheWidth)
{
    const QString text = documentLine(2000);
    view.setPlainText(text);
    finishLayout();
    EXPECT_EQ(view.toPlainText(), text);
    EXPECT_GT(view.knownLineCount(), 100);
    EXPECT_EQ(joinedLines(), text) << "a wrapped line break adds or drops nothing";
    const QFontMetricsF metrics(view.font());
    const qreal width = view.viewport()->width() - 8;
    for (qsizetype i = 0; i + 1 < view.knownLineCount(); ++i) {
        const QString line = view.lineText(i);
        qreal sum = 0;
        for (QChar c : line)
            sum += metrics.horizontalAdvance(c);
        ASSERT_LE(sum, width + 0.01) << "line " << i << ": " << line.toStdString();
        // Broken after a blank wherever the line holds one.
        if (line.contains(u' ')) {
            EXPECT_TRUE(line.endsWith(u' ')) << "line " << i << ": " << line.toStdString();
        }
    }
}

TEST_F(TextViewTest, LineFeedsEndLinesAndNoWrapKeepsLongLinesWhole)
{
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    const QString text = QStringLiteral("first line\n") + QString(5000, u'x') + QStringLiteral("\n\nlast");
    view.setPlainText(text);
    finishLayout();
    ASSERT_EQ(view.knownLineCount(), 4);
    EXPECT_EQ(view.lineText(0), "first line");
    EXPECT_EQ(view.lineText(1), QString(5000, u'x'));
    EXPECT_EQ(view.lineText(2), "");
    EXPECT_EQ(view.lineText(3), "last");
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0) << "the long line scrolls sideways";
    EXPECT_EQ(joinedLines("\n"), text);

    view.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    finishLayout();
    EXPECT_GT(view.knownLineCount(), 4) << "a word longer than the view is broken inside";
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(TextViewTest, ALongTextIsLaidOutInSlicesWhileTheWindowStaysResponsive)
{
    // About 16 MB of document text: far more than one slice can measure.
    const QString text = documentLine(300000);
    QElapsedTimer clock;
    clock.start();
    view.setPlainText(text);
    EXPECT_FALSE(view.layoutComplete()) << "the first call returns before the whole text is measured";
    EXPECT_GT(view.knownLineCount(), 10) << "the first screenful is there at once";
    const qsizetype first = view.knownLineCount();
    const int firstRange = view.verticalScrollBar()->maximum();
    EXPECT_GT(firstRange, 1000) << "the scroll range is estimated for the whole text";
    QApplication::processEvents();
    EXPECT_GT(view.knownLineCount(), first) << "idle slices go on";
    finishLayout();
    EXPECT_EQ(joinedLines(), text);
    // Scrolling to the end paints the last lines.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.viewport()->repaint();
    const qsizetype last = view.knownLineCount() - 1;
    EXPECT_TRUE((view.lineText(last - 1) + view.lineText(last)).endsWith("</Master></DocumentData>"));
}

TEST_F(TextViewTest, TypedTextGoesInAtTheCaretAndReturnStartsALine)
{
    view.setPlainText("abcdef");
    EXPECT_FALSE(view.isReadOnly());
    EXPECT_EQ(view.cursorPosition(), 0);
    view.setCursorPosition(3);
    type("X");
    EXPECT_EQ(view.toPlainText(), "abcXdef");
    EXPECT_EQ(view.cursorPosition(), 4);
    press(Qt::Key_Right);
    type("yz");
    EXPECT_EQ(view.toPlainText(), "abcXdyzef");
    press(Qt::Key_A, QString(QChar(1)), Qt::ControlModifier);
    EXPECT_EQ(view.toPlainText(), "abcXdyzef") << "a control character is not typed";
    press(Qt::Key_End);
    EXPECT_EQ(view.cursorPosition(), 9);
    press(Qt::Key_Home);
    EXPECT_EQ(view.cursorPosition(), 0);

    view.setCursorPosition(3);
    ASSERT_EQ(view.knownLineCount(), 1);
    press(Qt::Key_Return, "\r");
    EXPECT_EQ(view.toPlainText(), "abc\nXdyzef");
    ASSERT_EQ(view.knownLineCount(), 2);
    EXPECT_EQ(view.lineText(0), "abc");
    EXPECT_EQ(view.lineText(1), "Xdyzef");
    press(Qt::Key_Enter, "\r");
    EXPECT_EQ(view.knownLineCount(), 3);
    EXPECT_EQ(view.lineText(1), "");
    // Up keeps the column; Down at the last line goes to the end.
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    EXPECT_EQ(view.cursorPosition(), 0);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(view.cursorPosition(), view.toPlainText().size());
    press(Qt::Key_Home, {}, Qt::ControlModifier);
    EXPECT_EQ(view.cursorPosition(), 0);

    press(Qt::Key_Tab, "\t");
    EXPECT_EQ(view.toPlainText(), "\tabc\n\nXdyzef");
    view.setTabChangesFocus(true);
    press(Qt::Key_Tab, "\t");
    EXPECT_EQ(view.toPlainText(), "\tabc\n\nXdyzef") << "the tab moves the focus instead";

    view.setPlainText("new");
    EXPECT_EQ(view.cursorPosition(), 0);
    QInputMethodEvent composed;
    composed.setCommitString(QString::fromUtf16(u"中文"));
    QApplication::sendEvent(&view, &composed);
    EXPECT_EQ(view.toPlainText(), QString::fromUtf16(u"中文new"));
}

TEST_F(TextViewTest, BackspaceDeleteAndArrowsTakeASurrogatePairAsOneCharacter)
{
    const QString text = QString::fromUtf16(u"a\U0001F600b");
    ASSERT_EQ(text.size(), 4);
    view.setPlainText(text);
    view.setCursorPosition(3);
    press(Qt::Key_Left);
    EXPECT_EQ(view.cursorPosition(), 1);
    press(Qt::Key_Right);
    EXPECT_EQ(view.cursorPosition(), 3);
    press(Qt::Key_Backspace);
    EXPECT_EQ(view.toPlainText(), "ab");
    EXPECT_EQ(view.cursorPosition(), 1);

    view.setPlainText(text);
    view.setCursorPosition(1);
    press(Qt::Key_Delete);
    EXPECT_EQ(view.toPlainText(), "ab");
    EXPECT_EQ(view.cursorPosition(), 1);
    press(Qt::Key_Backspace);
    press(Qt::Key_Backspace);
    EXPECT_EQ(view.toPlainText(), "b") << "Backspace at the start takes nothing";
    press(Qt::Key_End);
    press(Qt::Key_Delete);
    EXPECT_EQ(view.toPlainText(), "b") << "Delete at the end takes nothing";
}

TEST_F(TextViewTest, AClickPlacesTheCaretWhereTheWrappedLineIsDrawn)
{
    view.setPlainText(documentLine(50));
    finishLayout();
    ASSERT_GT(view.knownLineCount(), 4);
    const QFontMetricsF metrics(view.font());
    const qreal lineHeight = QFontMetrics(view.font()).lineSpacing();
    const QString line = view.lineText(2);
    const qsizetype start = view.lineStart(2);
    qreal x = 4;
    for (int i = 0; i < 3; ++i)
        x += metrics.horizontalAdvance(line.at(i));
    // A quarter into the fourth character is nearer its left edge.
    click(QPointF(x + metrics.horizontalAdvance(line.at(3)) / 4, 4 + 2.5 * lineHeight));
    EXPECT_EQ(view.cursorPosition(), start + 3);
    EXPECT_NEAR(view.cursorRect().left(), x, 1.0);
    EXPECT_NEAR(view.cursorRect().top(), 4 + 2 * lineHeight, 1.0);
    // Three quarters in, its right edge.
    click(QPointF(x + metrics.horizontalAdvance(line.at(3)) * 3 / 4, 4 + 2.5 * lineHeight));
    EXPECT_EQ(view.cursorPosition(), start + 4);
    // Right of a wrapped line, before its last character: its end is where the next line starts.
    click(QPointF(view.viewport()->width() - 1, 4 + 2.5 * lineHeight));
    EXPECT_EQ(view.cursorPosition(), view.lineStart(3) - 1);
    type("Q");
    EXPECT_EQ(view.toPlainText().at(view.lineStart(2) + line.size() - 1), u'Q');
}

TEST_F(TextViewTest, AReadOnlyBoxRefusesEditsButMovesItsCaret)
{
    view.setPlainText(QString::fromUtf16(u"ab\U0001F600"));
    view.setReadOnly(true);
    EXPECT_TRUE(view.isReadOnly());
    view.setCursorPosition(1);
    type("x");
    press(Qt::Key_Return, "\r");
    press(Qt::Key_Backspace);
    press(Qt::Key_Delete);
    press(Qt::Key_Tab, "\t");
    QInputMethodEvent composed;
    composed.setCommitString("y");
    QApplication::sendEvent(&view, &composed);
    EXPECT_EQ(view.toPlainText(), QString::fromUtf16(u"ab\U0001F600"));
    press(Qt::Key_Right);
    EXPECT_EQ(view.cursorPosition(), 2);
    view.setReadOnly(false);
    type("x");
    EXPECT_EQ(view.toPlainText(), QString::fromUtf16(u"abx\U0001F600"));
}

TEST_F(TextViewTest, EditsLayOutAgainLikeAFreshLayoutOfTheEditedText)
{
    // Edits at the first word of a wrapped line move the break of the line before it.
    vl::TextView fresh;
    fresh.resize(view.size());
    fresh.show();
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    fresh.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view.setPlainText(documentLine(100) + "\nshort\n" + documentLine(20));
    finishLayout();
    const auto compare = [&](const char* what) {
        finishLayout();
        fresh.setPlainText(view.toPlainText());
        while (!fresh.layoutComplete())
            QApplication::processEvents();
        EXPECT_EQ(lineStarts(view), lineStarts(fresh)) << what;
    };
    for (qsizetype line : { qsizetype(5), qsizetype(1), qsizetype(30) }) {
        view.setCursorPosition(view.lineStart(line));
        press(Qt::Key_Delete);
        compare("first character of a wrapped line deleted");
        type("AVeryLongWordIndeed ");
        compare("a word typed at the start of a wrapped line");
        press(Qt::Key_Backspace);
        press(Qt::Key_Backspace);
        compare("backspace into the line before");
        press(Qt::Key_Return, "\r");
        compare("a line feed typed");
    }
}

TEST_F(TextViewTest, AnEditInALongTextLaysOutOnlyFromTheEditedLineOn)
{
    const QString text = documentLine(300000);
    view.setPlainText(text);
    finishLayout();
    const qsizetype lines = view.knownLineCount();
    const std::vector<qsizetype> before = lineStarts(view);

    // Near the end: the edit is laid out at once, without measuring the text before it again.
    view.setCursorPosition(view.lineStart(lines - 5) + 2);
    qsizetype work = view.layoutWork();
    type("Z");
    EXPECT_TRUE(view.layoutComplete());
    EXPECT_LT(view.layoutWork() - work, 2000);
    std::vector<qsizetype> after = lineStarts(view);
    ASSERT_GE(after.size(), static_cast<std::size_t>(lines - 6));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + lines - 6, after.begin()));
    EXPECT_EQ(view.toPlainText(), text.left(before[lines - 5] + 2) + "Z" + text.mid(before[lines - 5] + 2));

    // In the middle: the lines before stay; the rest is measured once more, in idle slices. The
    // Backspace takes the last character of the wrapped line before, so that one is redone too,
    // and the one before it, whose break its first word decided.
    const qsizetype middle = lines / 2;
    view.setCursorPosition(view.lineStart(middle));
    work = view.layoutWork();
    press(Qt::Key_Backspace);
    after = lineStarts(view);
    ASSERT_GE(after.size(), static_cast<std::size_t>(middle - 1));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + middle - 1, after.begin()));
    finishLayout();
    EXPECT_LE(view.layoutWork() - work, view.toPlainText().size() - before[middle - 2]);
    EXPECT_EQ(joinedLines().size(), text.size());

    press(Qt::Key_End, {}, Qt::ControlModifier);
    EXPECT_EQ(view.cursorPosition(), text.size());
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    EXPECT_GT(view.verticalScrollBar()->value(), 1000);
    press(Qt::Key_PageUp);
    EXPECT_LT(view.cursorPosition(), text.size());
    press(Qt::Key_Home, {}, Qt::ControlModifier);
    EXPECT_EQ(view.cursorPosition(), 0);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

} // namespace
