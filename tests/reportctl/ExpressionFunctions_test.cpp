#include "EvaluateExpression.h"
#include "ExpressionFunctions_p.h"
#include "ReportExpression.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

// Fields for the edge cases: a name, empty text (a value), a missing field (no value), dates as the data
// layer writes them. Host functions count their calls, so a branch left alone shows.
class FunctionContext final : public ExpressionContext {
public:
    ExprValue field(const QString&, const QString& name) override
    {
        if (name == u"Name")
            return ExprValue::fromText(QStringLiteral("张三"));
        if (name == u"Blank")
            return ExprValue::fromText(QString());
        if (name == u"Born")
            return ExprValue::fromText(QStringLiteral("4/15/66"));
        return {};
    }
    ExprValue aggregate(AggregateKind, const QString&, const QString&) override { return {}; }
    ExprValue pageNumber() override { return ExprValue::fromNumber(1); }
    ExprValue pageCount() override { return ExprValue::fromNumber(1); }
    QDateTime printTime() override { return QDateTime(QDate(2024, 2, 29), QTime(13, 5, 0)); }
    ExprValue call(const QString&, const std::vector<ExprValue>&) override
    {
        ++calls;
        return ExprValue::fromText(QStringLiteral("called"));
    }
    int calls = 0;
};

QString evaluateText(const QString& text)
{
    QString reason;
    const auto expression = parseExpression(text, reason);
    if (!expression)
        return QStringLiteral("error: ") + reason;
    FunctionContext context;
    return evaluateExpression(*expression, context).toText();
}

struct Case {
    const char* expression;
    const char* expected;
};

void expectAll(std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(evaluateText(QString::fromUtf8(c.expression)), QString::fromUtf8(c.expected)) << c.expression;
}

} // namespace

// isNull(...) tells a null result from empty text where both print the same.
TEST(ExpressionFunctions, ConditionsAndNulls)
{
    expectAll({
        {"if(1 > 0, 'y', 'n')", "y"},
        {"IF(D.Missing, 'y', 'n')", "n"},
        {"if('FALSE', 1, 2)", "2"},
        {"if(D.Blank, 1, 2)", "2"},
        {"isNull(if(0, 1))", "true"}, // no else: null
        {"isNull(D.Missing)", "true"},
        {"isNull(D.Blank)", "false"}, // empty text is a value
        {"IsNull(0)", "false"},
        {"coalesce(D.Missing, D.Name, 'x')", "张三"},
        {"coalesce(D.Blank, 'x') & '|'", "|"},
        {"isNull(coalesce(D.Missing, D.Missing))", "true"},
        {"isNull(upper(D.Missing))", "true"}, // a function of a null is null
        {"isNull(contains(D.Missing, 'a'))", "true"},
        {"isNull(format(D.Missing, '0'))", "true"},
    });
}

TEST(ExpressionFunctions, Text)
{
    expectAll({
        {"len('abc')", "3"},
        {"len('')", "0"},
        {"len(D.Missing)", "0"},
        {"len(D.Name)", "2"},
        {"len(12.50)", "4"}, // the number's text, "12.5"
        {"left('abcdef', 2)", "ab"},
        {"left('abc', 10)", "abc"},
        {"left('abc', 1.9)", "a"}, // toward zero
        {"left('abc', '2')", "ab"},
        {"isNull(left('abc', -1))", "false"},
        {"left('abc', -1) & '|'", "|"},
        {"isNull(left('abc', 'x'))", "true"},
        {"isNull(left(D.Missing, 2))", "true"},
        {"right('abcdef', 2)", "ef"},
        {"right('abc', 5)", "abc"},
        {"right('abc', -2) & '|'", "|"},
        {"mid('abcdef', 2, 3)", "bcd"},
        {"mid('abcdef', 5)", "ef"},
        {"mid('abcdef', 7, 2) & '|'", "|"}, // start beyond the end
        {"mid('abcdef', 0, 3)", "ab"}, // position 0 is before the text
        {"mid('abcdef', -5, 3) & '|'", "|"},
        {"mid('abc', 2, -1) & '|'", "|"},
        {"upper('abcß')", "ABCSS"},
        {"Lower('ÀB张')", "àb张"},
        {"trim('  a b \t')", "a b"},
        {"trim(D.Blank) & '|'", "|"},
        {"replace('a-b-c', '-', '+')", "a+b+c"},
        {"replace('abc', '', 'x')", "abc"},
        {"replace('aaa', 'a', '') & '|'", "|"},
        {"replace('Aa', 'a', 'b')", "Ab"}, // case counts
        {"replace(12.5, '.', ',')", "12,5"},
        {"contains('abc', 'b')", "true"},
        {"contains('abc', 'B')", "false"},
        {"CONTAINS('abc', '')", "true"},
    });
}

TEST(ExpressionFunctions, Numbers)
{
    expectAll({
        {"round(2.675, 2)", "2.68"}, // as written, though the double lies below
        {"round(-2.675, 2)", "-2.68"},
        {"round(1.005, 2)", "1.01"},
        {"round(2.5)", "3"},
        {"round(-2.5)", "-3"}, // half away from zero
        {"round(-0.4)", "0"}, // no "-0"
        {"round(9.995, 2)", "10"},
        {"round(1250, -2)", "1300"},
        {"round(1249, -2)", "1200"},
        {"round(0.05, 0)", "0"},
        {"round(5, -400)", "0"},
        {"round(123.456, 10)", "123.456"},
        {"round('3.14159', 3)", "3.142"},
        {"round(2.5, 0.9)", "3"}, // digits toward zero
        {"isNull(round(1, 'x'))", "true"},
        {"abs(-3.5)", "3.5"},
        {"int(-3.7)", "-3"},
        {"int(3.7)", "3"},
        {"int(-0.5)", "0"},
        {"floor(-3.2)", "-4"},
        {"ceil(-3.7)", "-3"},
        {"Ceil(3.2)", "4"},
        {"isNull(abs('x'))", "true"},
        {"format(1234.5, '#,##0.00')", "1,234.50"},
        {"format('abc', '0.00')", "abc"},
    });
}

TEST(ExpressionFunctions, Dates)
{
    expectAll({
        {"year(Date)", "2024"},
        {"month('2023-12-31')", "12"},
        {"day(D.Born)", "15"},
        {"year(D.Born)", "1966"},
        {"isNull(year('hello'))", "true"},
        {"isNull(year(5))", "true"},
        {"today()", "2024-02-29"},
        {"format(Date, 'yyyy/MM/dd')", "2024/02/29"},
        {"dateAdd('2024-01-31', 1, 'month')", "2024-02-29"}, // month ends clamp
        {"dateAdd('2023-01-31', 1, 'month')", "2023-02-28"},
        {"dateAdd('2024-03-31', -1, 'Month')", "2024-02-29"},
        {"dateAdd('2024-02-29', 1, 'YEAR')", "2025-02-28"},
        {"dateAdd('2024-12-31', 1, 'day')", "2025-01-01"},
        {"dateAdd(Now, -1, ' Day ')", "2024-02-28 13:05:00"}, // keeps the time
        {"dateAdd('2024-01-10', 1.9, 'day')", "2024-01-11"},
        {"isNull(dateAdd(Date, 1, 'week'))", "true"},
        {"isNull(dateAdd(Date, 8000, 'year'))", "true"}, // beyond year 9999
        {"isNull(dateAdd(Date, 100000000000 * 100000000000, 'day'))", "true"},
        {"isNull(dateAdd('soon', 1, 'day'))", "true"},
        {"dateDiff('2023-12-31', '2024-01-01', 'day')", "1"},
        {"dateDiff('2023-12-31', '2024-01-01', 'month')", "0"},
        {"dateDiff('2023-12-31', '2024-01-01', 'year')", "0"},
        {"dateDiff('2023-12-31', '2024-12-31', 'year')", "1"},
        {"dateDiff('2024-03-01', '2024-02-29', 'DAY')", "-1"},
        {"dateDiff('2024-01-31', '2024-02-29', 'month')", "1"}, // as dateAdd counts it
        {"dateDiff('2024-01-30', '2024-02-28', 'month')", "0"},
        {"dateDiff('2024-02-29', '2025-02-28', 'year')", "1"},
        {"dateDiff('2024-03-15', '2024-02-20', 'month')", "0"},
        {"dateDiff('2024-03-31', '2024-02-28', 'month')", "-1"},
        {"dateDiff('2024-03-31 23:00', '2024-04-01 01:00', 'day')", "1"}, // dates, not hours
        {"dateDiff(D.Born, Date, 'year')", "57"},
        {"isNull(dateDiff(Date, D.Missing, 'day'))", "true"},
    });
}

TEST(ExpressionFunctions, OnlyTheNeededArgumentsAreEvaluated)
{
    struct Count {
        const char* expression;
        int calls;
    };
    const Count cases[] = {
        {"if(1, 'a', f(1))", 0}, {"if(0, f(1), 'b')", 0}, {"if(f(1), f(2), f(3))", 2},
        {"coalesce('a', f(1))", 0}, {"coalesce(D.Missing, f(1), f(2))", 1}, {"isNull(f(1))", 1},
    };
    for (const Count& c : cases) {
        FunctionContext context;
        ASSERT_TRUE(test::evaluatesIn(context, QString::fromUtf8(c.expression)));
        EXPECT_EQ(context.calls, c.calls) << c.expression;
    }
}

TEST(ExpressionFunctions, LongTextsStayWithinTheCap)
{
    const QString quarter = QString(MaxFunctionText / 4, u'a');
    struct Case {
        QString expression;
        QString expected;
    };
    const Case cases[] = {
        {"len(replace('" + quarter + "', 'a', 'aaaa'))", QString::number(MaxFunctionText)},
        {"isNull(replace('" + quarter + "a', 'a', 'aaaa'))", "true"},
        {"isNull(upper('" + QString(MaxFunctionText + 1, u'a') + "'))", "true"},
        {"len(left('" + QString(MaxFunctionText + 1, u'a') + "', 99999999999))", "0"}, // null has no length
        {"isNull(year('2024-01-01 " + QString(MaxFunctionText, u'x') + "'))", "true"}, // no date that long
        {"Date < '2024-01-01 " + QString(MaxFunctionText, u'x') + "'", "false"}, // so text against text
        {"contains('" + QString(MaxFunctionText, u'a') + "', 'ab')", "false"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(evaluateText(c.expression), c.expected) << c.expression.left(30).toStdString();
}
