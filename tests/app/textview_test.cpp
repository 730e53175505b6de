// The text box of the data document: it must lose no character, wrap within its width at blanks,
// and find the lines of a long text in slices instead of all at once.
#include "TextView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <memory>

namespace
{

class TextViewTest : public ::testing::Test
{
protected:
    // The program tests make and end an application object of their own per test; this suite's
    // goes with it, so that the next one can make theirs.
    static void SetUpTestSuite()
    {
        if (!qApp) {
            static int argc = 1;
            static char name[] = "app_tests";
            static char* argv[] = { name, nullptr };
            s_app = new QApplication(argc, argv);
        }
    }
    static void TearDownTestSuite()
    {
        delete s_app;
        s_app = nullptr;
    }
    static inline QApplication* s_app = nullptr;
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
        if (line.contains(u' '))
            EXPECT_TRUE(line.endsWith(u' ')) << "line " << i << ": " << line.toStdString();
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

} // namespace
