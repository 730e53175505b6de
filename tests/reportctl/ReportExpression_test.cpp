#include "EvaluateExpression.h"
#include "ReportExpression.h"
#include "ReportLayout.h"
#include "ReportTemplate.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vl;

namespace {

// Fields, aggregates and functions answered from small tables, so each case shows what it computes.
class FakeContext final : public ExpressionContext {
public:
    ExprValue field(const QString& source, const QString& name) override
    {
        if (source == u"D" && name == u"Salary")
            return ExprValue::fromText(QStringLiteral("1500.5"));
        if (source == u"D" && name == u"Name")
            return ExprValue::fromText(QStringLiteral("张三"));
        if (source == u"D" && name == u"Born")
            return ExprValue::fromText(QStringLiteral("4/15/66"));
        return {};
    }
    ExprValue aggregate(AggregateKind kind, const QString&, const QString&) override
    {
        return ExprValue::fromNumber(kind == AggregateKind::Count ? 4 : kind == AggregateKind::Sum ? 10 : 2.5);
    }
    ExprValue pageNumber() override { return ExprValue::fromNumber(3); }
    ExprValue pageCount() override { return ExprValue::fromNumber(9); }
    QDateTime printTime() override { return QDateTime(QDate(2024, 2, 29), QTime(13, 5, 0)); }
    ExprValue call(const QString& name, const std::vector<ExprValue>& args) override
    {
        calls.push_back(name + u'/' + QString::number(args.size()));
        return ExprValue::fromText(QStringLiteral("<%1>").arg(args.empty() ? QString() : args[0].toText()));
    }
    std::vector<QString> calls;
};

QString evaluateText(const char* text, const char* format = "", int decimals = -1)
{
    QString reason;
    const auto expression = parseExpression(QString::fromUtf8(text), reason);
    if (!expression)
        return QStringLiteral("error: ") + reason;
    FakeContext context;
    return formatValue(evaluateExpression(*expression, context), QString::fromUtf8(format), decimals);
}

struct Case {
    const char* expression;
    const char* expected;
};

void expectAll(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(evaluateText(c.expression), QString::fromUtf8(c.expected)) << c.expression;
}

} // namespace

TEST(Expression, ArithmeticJoiningAndFunctions)
{
    expectAll({
        {"1 + 2 * 3", "7"},
        {"(1 + 2) * 3", "9"},
        {"-D.Salary + 0.5", "-1500"},
        {"D.Salary * 2", "3001"},
        {"sum(D.Salary) / count(D)", "2.5"},
        {"avg(D.Salary) + min(D.Salary) + max(D.Salary)", "7.5"},
        {"D.Name & \"，\" & D.Salary", "张三，1500.5"},
        {"D.Name + \"先生\"", "张三先生"}, // + on text joins
        {"\"a]b\" & 'c'", "a]bc"},
        {"Page & \"/\" & Pages", "3/9"},
        {"1 / 0", ""}, // no "inf" on paper
        {"D.Name * 2", ""}, // arithmetic on text has no value
        {"D.Missing", ""},
        {"Tax(D.Salary, 0.1)", "<1500.5>"},
        {"Date", "2024-02-29"},
        {"Now", "2024-02-29 13:05:00"},
    });
}

TEST(Expression, ComparisonsAndLogic)
{
    expectAll({
        {"1 = 1", "true"},
        {"1 <> 1", "false"},
        {"2 < 10", "true"},
        {"'2' < '10'", "true"}, // decimal text compares as numbers
        {"'10' = 10.0", "true"},
        {"D.Salary >= 1500.5", "true"},
        {"D.Salary > 1500.5", "false"},
        {"3 <= 2", "false"},
        {"'abc' < 'abd'", "true"},
        {"'a' < 'B'", "false"}, // by code points, case counts
        {"'a' = 'A'", "false"},
        {"'！' < '😀'", "true"}, // U+FF01 before U+1F600, though not in UTF-16 units
        {"'x' > 1", "true"}, // text and number compare as text
        {"D.Name = '张三'", "true"},
        {"D.Missing = ''", "true"},
        {"D.Missing = 0", "false"},
        {"Date = '2024-02-29'", "true"}, // a date and text that reads as one compare as dates
        {"D.Born < Date", "true"},
        {"Date > '2024-3-1'", "false"},
        {"'nan' = 'nan'", "false"}, // NaN equals nothing
        {"'nan' <> 'nan'", "true"},
        {"1 + 1 = '2' & ''", "true"}, // & and + bind tighter
        {"'a' & 'b' = 'ab'", "true"},
        {"1 < 2 = 1", "true"}, // left to right: true = 1
        {"(1 = 1) + (2 = 2)", "2"},
        {"(1 = 1) & ''", "true"},
        {"not 1 = 2", "true"},
        {"NOT 0", "true"},
        {"not not 1", "true"},
        {"not ''", "true"},
        {"not 'FALSE'", "true"},
        {"not 'no'", "false"},
        {"not '0.0'", "true"},
        {"not 'nan'", "true"},
        {"not D.Missing", "true"},
        {"not Date", "false"},
        {"1 = 1 And 2 = 2", "true"},
        {"1 = 2 OR 2 = 2", "true"},
        {"1 = 1 or 1 = 2 and 1 = 2", "true"}, // and binds tighter than or
        {"(1 = 1 or 1 = 2) and 1 = 2", "false"},
        {"not 1 = 1 or 1 = 1", "true"},
        {"'0' or ''", "false"},
        {"Param.Title & 'x'", "x"}, // no parameter: empty
    });
}

TEST(Expression, TruthOfEveryKindOfValue)
{
    struct Case {
        ExprValue value;
        bool expected;
    };
    const Case cases[] = {
        {ExprValue{}, false},
        {ExprValue::fromBoolean(true), true},
        {ExprValue::fromBoolean(false), false},
        {ExprValue::fromNumber(0), false},
        {ExprValue::fromNumber(-0.5), true},
        {ExprValue::fromNumber(std::nan("")), false},
        {ExprValue::fromText(""), false},
        {ExprValue::fromText("True"), true},
        {ExprValue::fromText("fAlSe"), false},
        {ExprValue::fromText("0"), false},
        {ExprValue::fromText("-0.00"), false},
        {ExprValue::fromText("2"), true},
        {ExprValue::fromText("no"), true},
        {ExprValue::fromText(" "), true},
        {ExprValue::fromDateTime(QDateTime(QDate(2024, 1, 1), QTime(0, 0))), true},
        {ExprValue::fromDateTime(QDateTime()), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isTrue(c.value), c.expected) << c.value.toText().toStdString() << " of type " << c.value.type;
    double number = -1;
    EXPECT_TRUE(ExprValue::fromBoolean(true).toNumber(number));
    EXPECT_EQ(number, 1);
    EXPECT_EQ(ExprValue::fromBoolean(false).toText(), "false");
}

TEST(Expression, AndOrStopAtTheOperandThatDecides)
{
    struct Case {
        const char* expression;
        size_t calls;
    };
    const Case cases[] = {
        {"1 = 2 and f(1)", 0}, {"1 = 1 or f(1)", 0}, {"1 = 1 and f(1)", 1}, {"0 or f(1) or f(2)", 1},
        {"0 or 0 and f(1)", 0}, {"f(1) = f(2)", 2},
    };
    for (const Case& c : cases) {
        FakeContext context;
        ASSERT_TRUE(test::evaluatesIn(context, QString::fromUtf8(c.expression)));
        EXPECT_EQ(context.calls.size(), c.calls) << c.expression;
    }
}

TEST(Expression, ParametersAreAskedOfTheContext)
{
    class ParameterContext final : public ExpressionContext {
    public:
        ExprValue field(const QString&, const QString&) override { return {}; }
        ExprValue aggregate(AggregateKind, const QString&, const QString&) override { return {}; }
        ExprValue pageNumber() override { return {}; }
        ExprValue pageCount() override { return {}; }
        QDateTime printTime() override { return {}; }
        ExprValue call(const QString&, const std::vector<ExprValue>&) override { return {}; }
        ExprValue parameter(const QString& name) override { return ExprValue::fromText(name + u'!'); }
    };
    QString reason;
    const auto expression = parseExpression(QStringLiteral("PARAM.Title & param.year"), reason);
    ASSERT_NE(expression, nullptr) << reason.toStdString();
    ASSERT_EQ(expression->args.size(), 2u);
    EXPECT_EQ(expression->args[0]->kind, Expression::Parameter);
    ParameterContext context;
    EXPECT_EQ(evaluateExpression(*expression, context).toText(), "Title!year!");
    const auto field = parseExpression(QStringLiteral("Params.Title"), reason);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->kind, Expression::Field);
}

TEST(Expression, WrongArgumentCountsOfBuiltinsAreParseErrors)
{
    struct Case {
        const char* expression;
        const char* reason;
    };
    const Case cases[] = {
        {"left(D.a, 1, 2)", "left takes 2 arguments, not 3: \"[left(D.a, 1, 2)]\""},
        {"LEFT('a')", "left takes 2 arguments, not 1"},
        {"today(1)", "today takes no arguments, not 1"},
        {"coalesce()", "coalesce takes at least 1 argument, not 0"},
        {"1 + round(1, 2, 3)", "round takes 1 or 2 arguments, not 3"},
        {"if(1)", "if takes 2 or 3 arguments, not 1"},
        {"upper(mid('abc'))", "mid takes 2 or 3 arguments, not 1"},
        {"dateadd(Date, 1)", "dateAdd takes 3 arguments, not 2"},
        {"isnull()", "isNull takes 1 argument, not 0"},
    };
    for (const Case& c : cases) {
        QString reason;
        EXPECT_EQ(parseExpression(QString::fromUtf8(c.expression), reason), nullptr) << c.expression;
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.reason))) << reason.toStdString();
    }
}

TEST(Expression, TheTemplateReaderPlacesAWrongArgumentCount)
{
    const RefusalCase<char> cases[] = {
        {"<report version=\"1\">\n  <sheet name=\"S\">\n    <title height=\"5\"><cell width=\"9\">a [left(D.x, 1, 2)]</cell></title>\n"
         "  </sheet>\n</report>",
         3, 23, "left takes 2 arguments, not 3"},
        {"<report version=\"1\">\n<sheet name=\"S\">\n<title height=\"5\">\n<cell width=\"9\">[1]</cell>\n  <cell width=\"9\">[Today(1)]</cell>\n"
         "</title></sheet>\n</report>",
         5, 3, "today takes no arguments, not 1"},
        {"<report version=\"1\">\n<sheet name=\"S\">\n<title height=\"5\"><cell width=\"9\" href=\"[if(1)]\">a</cell>\n"
         "</title></sheet>\n</report>",
         3, 19, "if takes 2 or 3 arguments, not 1"},
    };
    for (const RefusalCase<char>& c : cases) {
        SCOPED_TRACE(c.reason);
        ReportTemplate report;
        expectRefused(parseTemplate(c.xml, report), c);
    }
}

TEST(Expression, RefusesMalformedText)
{
    for (const char* bad : {"", "1 +", "(1", "x", "D.", "sum(D)", "avg()", "\"open", "a b.c", "f(1,", "1 2", "1 =",
                            "= 1", "1 == 1", "1 < > 2", "1 and", "or 1", "not", "1 not 2", "Param.", "Param"}) {
        QString reason;
        EXPECT_EQ(parseExpression(QString::fromUtf8(bad), reason), nullptr) << bad;
        EXPECT_FALSE(reason.isEmpty()) << bad;
    }
}

TEST(Expression, DisplayFormats)
{
    struct Case {
        const char* expression;
        const char* format;
        int decimals;
        const char* expected;
    };
    const Case cases[] = {
        {"1234567.891", "#,##0.00", -1, "1,234,567.89"},
        {"D.Salary", "0.0", -1, "1500.5"},
        {"D.Salary + 0.2", "¥#,##0", -1, "¥1,501"},
        {"-1234.5", "#,##0.00", -1, "-1,234.50"},
        {"-0.001", "0.00", -1, "0.00"}, // no "-0.00"
        {"0.256", "0.0%", -1, "25.6%"},
        {"2 / 3", "", 2, "0.67"},
        {"D.Salary", "", 0, "1500.5"}, // decimals round computed numbers, not field text
        {"D.Born", "yyyy-MM-dd", -1, "1966-04-15"},
        {"Date", "yyyy年M月d日", -1, "2024年2月29日"},
        {"D.Name", "#,##0.00", -1, "张三"}, // a format that does not fit leaves the text
        {"D.Name", "yyyy-MM-dd", -1, "张三"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(evaluateText(c.expression, c.format, c.decimals), QString::fromUtf8(c.expected))
            << c.expression << " " << c.format;
}

TEST(Expression, CellTextKeepsSimpleFormsAndCallsHostFunctions)
{
    std::vector<TextSegment> segments;
    QString reason;
    ASSERT_TRUE(parseCellText(QStringLiteral("[avg(Detail.Salary)] [Detail.Salary * 2] [Tax(Detail.Salary)]"), segments, reason))
        << reason.toStdString();
    ASSERT_EQ(segments.size(), 5u);
    EXPECT_EQ(segments[0].kind, TextSegment::Formula);
    EXPECT_EQ(segments[2].kind, TextSegment::Formula);
    ASSERT_NE(segments[4].expression, nullptr);
    EXPECT_EQ(segments[4].expression->kind, Expression::Call);
    EXPECT_EQ(segments[4].expression->text, "Tax");
}

TEST(ExpressionValues, TextsReadAsNumbersAsQtWouldReadThem)
{
    // Plain decimals take a short way; every text must give what QString::toDouble gives, and a
    // text beyond ASCII or longer than the short way's buffer must still be read.
    const std::vector<QString> texts = {"5000", "-12.50", "007", "0.1", "-0", "1.", ".5", " 3 ", "1e3", "abc", "",
                                        "1,000", "+4", "-", "1.2.3", "0x10", "inf", "nan", QString(QChar(0x3000)) + "5",
                                        QString::fromUtf8("４２"), "123456789012345678901234567890.123456789",
                                        "1" + QString(400, u'0'), "0." + QString(400, u'0') + "1", "-9007199254740993"};
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        bool ok = false;
        const double expected = text.trimmed().toDouble(&ok);
        double number = 0;
        ASSERT_EQ(ExprValue::fromText(text).toNumber(number), ok);
        if (ok && std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(number));
        } else if (ok) {
            EXPECT_EQ(number, expected);
            EXPECT_EQ(std::signbit(number), std::signbit(expected));
        }
    }
}

namespace {

// Text nested `levels` deep around "1" in one of the three ways an expression nests.
struct Nesting {
    const char* kind;
    QString (*build)(int levels);
    const char* valueAtLimit; // what MaxExpressionDepth levels evaluate to
};

QString repeated(const char* piece, int times)
{
    return QString::fromLatin1(piece).repeated(times);
}

const Nesting Nestings[] = {
    {"parentheses", [](int n) { return repeated("(", n) + "1" + repeated(")", n); }, "1"},
    {"calls", [](int n) { return repeated("f(", n) + "1" + repeated(")", n); }, nullptr},
    {"minus signs", [](int n) { return repeated("-", n) + "1"; }, "1"}, // an even count
    {"mixed", [](int n) { return repeated("-(", n / 2) + repeated("-", n % 2) + "2" + repeated(")", n / 2); }, "2"},
    {"nots", [](int n) { return repeated("not ", n) + "1"; }, "true"},
    // Inside each parenthesis a chain of every level, so the tree is as deep as a parse allows; nodes cut
    // off by the evaluator's own limit would have no value, and "<>" of two of them is false.
    {"every operator level", [](int n) { return repeated("(", n) + "1" + repeated(" * 1 + 0 & '' <> 0 and 1 or 0)", n); }, "true"},
    {"nots and parentheses", [](int n) { return repeated("not (", n / 2) + repeated("not ", n % 2) + "1 = 1" + repeated(")", n / 2); }, "true"},
};

} // namespace

TEST(ExpressionLimits, NestingIsRefusedBeyondTheLimitAndEvaluatedUpToIt)
{
    static_assert(MaxExpressionDepth % 4 == 0, "the cases count on an even number of minus signs");
    for (const Nesting& nesting : Nestings) {
        SCOPED_TRACE(nesting.kind);
        for (const int levels : {MaxExpressionDepth + 1, 10000, 1000000}) {
            QString reason;
            EXPECT_EQ(parseExpression(nesting.build(levels), reason), nullptr) << levels;
            EXPECT_TRUE(reason.contains(QStringLiteral("nests deeper than %1 levels").arg(MaxExpressionDepth)))
                << reason.toStdString();
        }
        QString reason;
        const auto expression = parseExpression(nesting.build(MaxExpressionDepth), reason);
        ASSERT_NE(expression, nullptr) << reason.toStdString();
        FakeContext context;
        const QString value = evaluateExpression(*expression, context).toText();
        // The fake answers f(x) with "<x>": the calls wrap the 1 once per level.
        const QString expected = nesting.valueAtLimit ? QString::fromLatin1(nesting.valueAtLimit)
                                                      : repeated("<", MaxExpressionDepth) + "1" + repeated(">", MaxExpressionDepth);
        EXPECT_EQ(value, expected);
    }
}

TEST(ExpressionLimits, LongFlatChainsEvaluateLeftToRight)
{
    // About 100 KB each: one node per chain, however long, and no recursion over its terms.
    struct Case {
        QString text;
        QString expected;
    };
    const int terms = 50000;
    const Case cases[] = {
        {"1" + repeated("+1", terms - 1), QString::number(terms)},
        {"100000" + repeated("-1", terms), "50000"},
        {"1" + repeated("*1", terms - 1) + "/4", "0.25"},
        {"\"a\"" + repeated("&\"b\"", terms / 2), "a" + repeated("b", terms / 2)},
        {"\"a\"" + repeated("+1", terms), "a" + repeated("1", terms)}, // text + number joins, at every step
        {"\"1.5.\"" + repeated("+1", terms), "1.5." + repeated("1", terms)},
        {"\"1e999\"" + repeated("+9", terms), "1e999" + repeated("9", terms)}, // viable, yet beyond a double
        {"\"1e\"" + repeated("+''", terms / 3) + "+5+0", "100000"}, // text that becomes a number at its end
        {"1" + repeated("+2*3-(4)", terms / 8), QString::number(1 + 2 * (terms / 8))},
        {"f(" + repeated("1,", terms - 1) + "1)", "<1>"},
        {"1 = 1" + repeated(" and 2 > 1", terms / 4), "true"},
        {"0" + repeated(" or 0", terms / 2), "false"},
        {"1" + repeated(" < 2", terms / 2), "true"},
        {"coalesce(" + repeated("D.Missing,", terms - 1) + "7)", "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(40).toStdString());
        FakeContext context;
        ExprValue value;
        ASSERT_TRUE(test::evaluatesIn(context, c.text, &value));
        EXPECT_EQ(value.toText(), c.expected);
    }
}

TEST(ExpressionLimits, DecimalsBeyondTheMostAreShownAsTheMost)
{
    const QString most = "0." + repeated("0", MaxDecimals);
    EXPECT_EQ(evaluateText("1/3", "", 1000000000), QString::number(1.0 / 3, 'f', MaxDecimals));
    EXPECT_EQ(evaluateText("1", qPrintable(most + "00000")), "1." + repeated("0", MaxDecimals));
    EXPECT_EQ(formatDecimals(most), MaxDecimals);
    EXPECT_EQ(formatDecimals("¥#,##0.00"), 2);
    EXPECT_EQ(formatDecimals("yyyy-MM-dd"), 0);
    EXPECT_EQ(formatDecimals("0." + repeated("0", 1000000)), MaxDecimals + 1);
}
