// The value texts that the writer emits take short cuts for the common values; every text must be
// the one the general notation gives, whatever way the value was stored.

#include "NumberFormat.h"
#include "SqliteFixture.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using vl::test::FixtureDatabase;

// Walks the data set and compares every float value text with the general notation of the value
// the field holds; returns how many differed (and names the first few).
int mismatchesOf(TDataSet* dataSet)
{
    int mismatches = 0;
    TField* field = dataSet->FieldNamed("V");
    for (dataSet->First(); !dataSet->AtEnd(); dataSet->Next()) {
        if (field->IsNull())
            continue;
        const double value = field->Value().real;
        const std::string expected = vl::formatGeneralFloat(value);
        const std::string actual = field->ValueText();
        if (actual != expected && ++mismatches <= 5)
            ADD_FAILURE() << "value " << std::hexfloat << value << ": " << actual << " instead of " << expected;
    }
    return mismatches;
}

class FloatValueText : public testing::Test
{
protected:
    void fill(const std::string& selectExpression, int count)
    {
        db.exec("insert into T (V) with recursive c(k) as (select 0 union all select k + 1 from c where k < "
            + std::to_string(count) + ") select " + selectExpression + " from c;");
    }

    FixtureDatabase db;
};

TEST_F(FloatValueText, EdgesOfTheShortDecimalsMatchTheGeneralNotation)
{
    db.exec("create table T (V double);"
            "insert into T values (0.1), (0.3), (0.7), (-0.7), (2.5), (-2.5), (0.0001), (0.00005), (0.00015),"
            "(1e-5), (5e-324), (-5e-324), (2.2250738585072014e-308), (999999999999999), (999999999999999.9),"
            "(99999999999.9999), (99999999999.99999), (1e15), (1e16), (123456789012345.6), (12345678901.2345),"
            "(1234567890.12345), (0.1 + 0.2), (3000 + 0.07), (4503599627370495.5), (9007199254740993),"
            "(1.7976931348623157e308), (0.30000000000000004), (0.49999999999999994), (0.5), (1.5), (1e-4),"
            "(9.9995), (9.99995), (0.99999), (0.999995), (10), (100), (-0.0), (0), (null);");
    EXPECT_EQ(mismatchesOf(db.dataSet("ADODataSet1", "select V from T")), 0);
}

TEST_F(FloatValueText, ComputedDecimalsMatchTheGeneralNotation)
{
    db.exec("create table T (V double);");
    // Sums and quotients that land one step beside the nearest double of their decimal.
    fill("3000 + k / 100.0", 20000);
    fill("k / 10000.0", 20000);
    fill("-(k * 7919 % 1000003) / 1000.0", 20000);
    fill("k * 1.1", 5000);
    fill("k / 7.0", 5000);
    fill("(k * 104729) * 1.0e9 + k / 10.0", 5000);
    fill("k * 0.0001 + 0.00005", 5000);
    EXPECT_EQ(mismatchesOf(db.dataSet("ADODataSet1", "select V from T")), 0);
}

TEST_F(FloatValueText, TheDecimalMarkComesFromTheSettings)
{
    db.exec("create table T (V double); insert into T values (2.5), (-1234.0625), (0.0001), (7);");
    TDataSet* dataSet = db.dataSet("ADODataSet1", "select V from T");
    const char mark = FormatSettings.DecimalMark;
    FormatSettings.DecimalMark = ',';
    std::vector<std::string> texts;
    for (dataSet->First(); !dataSet->AtEnd(); dataSet->Next())
        texts.push_back(dataSet->FieldNamed("V")->ValueText());
    FormatSettings.DecimalMark = mark;
    EXPECT_EQ(texts, (std::vector<std::string> { "2,5", "-1234,0625", "0,0001", "7" }));
}

} // namespace
