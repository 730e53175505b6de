// The encoding label goes into the XML declaration unescaped: only XML's encoding names
// (a letter, then letters, digits, ".", "_" or "-") are written; anything else fails the write
// before its first byte, naming the label. Through the data source and through vldata.

#include "ChildProcess.h"
#include "OutputStream.h"
#include "SqliteFixture.h"
#include "VLDataSDK.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LabelCase {
    std::string label;
    bool accepted;
};

std::ostream& operator<<(std::ostream& out, const LabelCase& c) { return out << '\'' << c.label << '\''; }

std::string refusal(const std::string& label)
{
    return "Encoding '" + label
        + "' is not an XML encoding name: a letter followed by letters, digits, dots, underscores or hyphens";
}

class EncodingLabel : public testing::TestWithParam<LabelCase> {};

TEST_P(EncodingLabel, IsWrittenOnlyWhenItIsAnXmlEncodingName)
{
    const LabelCase& c = GetParam();
    TXMLDataSource source(nullptr);
    source.SetEncoding(c.label);
    vl::MemoryOutputStream stream;
    stream.write("kept", 4);
    if (c.accepted) {
        source.WriteXML(stream);
        EXPECT_EQ(stream.data(), "kept<?xml version=\"1.0\" encoding=\"" + c.label + "\"?><DocumentData></DocumentData>");
        return;
    }
    try {
        source.WriteXML(stream);
        FAIL() << stream.data();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), refusal(c.label));
    }
    EXPECT_EQ(stream.data(), "kept");
}

INSTANTIATE_TEST_SUITE_P(Labels, EncodingLabel,
    testing::Values(LabelCase { "GB2312", true }, LabelCase { "UTF-8", true }, LabelCase { "ISO-8859-1", true },
        LabelCase { "Shift_JIS", true }, LabelCase { "x", true }, LabelCase { "Z.9_a-", true },
        LabelCase { "x\"y<", false }, LabelCase { "utf-8'", false }, LabelCase { "gb2312\"?><x", false },
        LabelCase { "8859-1", false }, LabelCase { "-utf8", false }, LabelCase { "_x", false },
        LabelCase { ".x", false }, LabelCase { "UTF 8", false }, LabelCase { "UTF-8\n", false },
        LabelCase { "a:b", false }, LabelCase { "a/b", false }, LabelCase { "a&b", false },
        LabelCase { std::string("a\0b", 3), false }, LabelCase { "\xC3\xA9t\xC3\xA9", false },
        LabelCase { "\xB1\xA8", false }));

// The empty label writes no declaration and so needs no check.
TEST(EncodingLabelEmpty, WritesNoDeclaration)
{
    TXMLDataSource source(nullptr);
    source.SetEncoding("");
    EXPECT_EQ(source.GetXML(), "<DocumentData></DocumentData>");
}

TEST(EncodingLabelOfVldata, RefusedWithTheLabelAndNothingWritten)
{
    vl::test::FixtureDatabase db;
    db.exec("create table T (A integer); insert into T values (1);");
    const std::string connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db.path();
    auto run = [&](const std::string& label) {
        return vl::test::runProgram(
            VLDATA_PATH, { "--connection", connection, "--encoding", label, "--master", "select * from T" }, db.folder());
    };
    vl::test::RunResult r = run("x\"y<");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, refusal("x\"y<") + ".\n");

    r = run("ISO-8859-1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><DocumentData><Master><Row A=\"1\"/></Master>"
                     "</DocumentData>");
}

} // namespace
