#include "ArgumentReader.h"
#include "ReportCommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct OwnOptions {
    vl::DataOptions data;
    std::optional<std::string> name;
    std::string level;
    bool flag = false;
};

// A tool with one option of each kind the reader serves: an optional value, a plain value, a switch.
vl::ParsedCommandLine<OwnOptions> readOwnOptions(const std::vector<std::string>& arguments)
{
    vl::ParsedCommandLine<OwnOptions> result;
    bool levelGiven = false;
    vl::ArgumentReader::readAll(arguments, result.options.data, result, [&](vl::ArgumentReader& reader) {
        const std::string& arg = reader.argument();
        if (arg == "--name")
            return reader.takeValueOnce(result.options.name);
        if (arg == "--level")
            return reader.takeValueOnce(result.options.level, levelGiven);
        if (arg != "--flag")
            return reader.refuse("unknown " + arg);
        result.options.flag = true;
        return true;
    });
    return result;
}

TEST(ArgumentReader, ValuesAreTakenOnceAndTheFirstRefusalEndsTheReading)
{
    const struct {
        std::vector<std::string> arguments;
        std::string error;
        bool help;
        bool flag;
    } cases[] = {
        {{}, "", false, false},
        {{"--flag", "--help"}, "", true, true},
        {{"--name"}, "option --name needs a value", false, false},
        {{"--level"}, "option --level needs a value", false, false},
        {{"--name", "a", "--name", "b"}, "--name given twice", false, false},
        {{"--level", "a", "--level", "b"}, "--level given twice", false, false},
        // A value is taken as it stands, even when it looks like an option.
        {{"--name", "--flag"}, "", false, false},
        {{"--level", "--help"}, "", false, false},
        {{"--bogus", "--help", "--flag"}, "unknown --bogus", false, false},
        {{"--help", "--bogus", "--flag"}, "unknown --bogus", true, false},
        // The data options come first and refuse as their own parser does.
        {{"--master"}, "option --master needs a value", false, false},
        {{"--master", "m", "--flag", "--master", "n", "--help"}, "--master given twice", false, true},
    };
    for (const auto& c : cases) {
        const auto parsed = readOwnOptions(c.arguments);
        const std::string label = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(parsed.error, c.error) << label;
        EXPECT_EQ(parsed.help, c.help) << label;
        EXPECT_FALSE(parsed.version) << label;
        EXPECT_EQ(parsed.options.flag, c.flag) << label;
    }
}

TEST(ArgumentReader, TakenValuesLandWhereTheToolSaid)
{
    const auto parsed = readOwnOptions({"--version", "--level", "3", "--master", "m", "--name", "", "--flag"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_TRUE(parsed.version);
    EXPECT_EQ(parsed.options.level, "3");
    EXPECT_EQ(parsed.options.name, std::optional<std::string>(""));
    EXPECT_EQ(parsed.options.data.masterSql, std::optional<std::string>("m"));
    EXPECT_TRUE(parsed.options.flag);
}

TEST(VlreportCommandLine, EachRefusalSaysWhichRule)
{
    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } refused[] = {
        {{"t.vld", "--sheet"}, "option --sheet needs a value"},
        {{"t.vld", "--png", "p", "--png", "q"}, "--png given twice"},
        {{"t.vld", "--dpi"}, "option --dpi needs a value"},
        {{"t.vld", "--dpi", "100", "--dpi", "200"}, "--dpi given twice"},
        {{"t.vld", "--dpi", "1201"}, "--dpi 1201 is not a number from 24 to 1200"},
        {{"t.vld", "--dpi", " 96"}, "--dpi  96 is not a number from 24 to 1200"},
        {{"t.vld", "--bogus"}, "unknown option --bogus"},
        {{"t.vld", "u.vld"}, "more than one template given: t.vld and u.vld"},
        {{""}, "the template's file name is empty"},
        {{"--data", "d.xml", "--pdf", "a.pdf"}, "no template given"},
        {{"t.vld", "--data", "d.xml", "--connection", "c", "--pdf", "a.pdf"}, "--data and data options given together"},
        {{"t.vld", "--pdf", "a.pdf"}, "no data: give --data FILE or --master/--detail queries"},
        {{"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--png", "p"}, "--pdf and --png given together: give one output"},
        {{"t.vld", "--data", "d.xml", "--text", "a.txt", "--xlsx", "a.xlsx"}, "--xlsx and --text given together: give one output"},
        {{"t.vld", "--data", "d.xml", "--csv", "a.csv", "--svg", "s"}, "--csv and --svg given together: give one output"},
        {{"t.vld", "--data", "d.xml", "--html", "a", "--html", "b"}, "--html given twice"},
        {{"t.vld", "--data", "d.xml"}, "no output: give one of --pdf, --png, --xlsx, --csv, --html, --svg, --text"},
        {{"t.vld", "--data", "d.xml", "--html", "a.html", "--detail-id", "D"}, "--detail-id without --csv"},
        {{"t.vld", "--data", "d.xml", "--pdf", "a.pdf", "--dpi", "100"}, "--dpi without --png"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(vl::parseVlreportCommandLine(c.arguments).error, c.error) << c.arguments.back();
}

} // namespace
