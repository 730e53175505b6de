#include "Provider.h"

#include "Exceptions.h"
#include "SampleComponents.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

TEST(ConnectionString, SampleStringGivesEighteenItemsInOrder)
{
    ConnectionStringParseResult parsed = parseConnectionString(SampleConnectionString);
    ASSERT_TRUE(parsed) << parsed.message;
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"Provider", "Microsoft.Jet.OLEDB.4.0"}, {"User ID", "Admin"}, {"Data Source", "test.mdb"},
        {"Mode", "Share Deny None"}, {"Extended Properties", ""}, {"Jet OLEDB:System database", ""},
        {"Jet OLEDB:Registry Path", ""}, {"Jet OLEDB:Database Password", ""}, {"Jet OLEDB:Engine Type", "5"},
        {"Jet OLEDB:Database Locking Mode", "1"}, {"Jet OLEDB:Global Partial Bulk Ops", "2"},
        {"Jet OLEDB:Global Bulk Transactions", "1"}, {"Jet OLEDB:New Database Password", ""},
        {"Jet OLEDB:Create System Database", "False"}, {"Jet OLEDB:Encrypt Database", "False"},
        {"Jet OLEDB:Don't Copy Locale on Compact", "False"}, {"Jet OLEDB:Compact Without Replica Repair", "False"},
        {"Jet OLEDB:SFP", "False"}};
    ASSERT_EQ(parsed.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(parsed.items[i].name, expected[i].first);
        EXPECT_EQ(parsed.items[i].value, expected[i].second);
    }
}

TEST(ConnectionString, QuotingAndSpacing)
{
    struct Case {
        const char* text;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"A=\"x;y\";B=1", "A", "x;y"},
        {"A='it''s';B=1", "A", "it's"},
        {"A=\"say \"\"hi\"\"\"", "A", "say \"hi\""},
        {"  A  =  spaced value  ;", "A", "spaced value"},
        {"a=1;A=2", "A", "2"},
        {"A=;B=1", "A", ""},
        {";;A=1;;", "A", "1"},
    };
    for (const Case& c : cases) {
        ConnectionStringParseResult parsed = parseConnectionString(c.text);
        ASSERT_TRUE(parsed) << c.text << ": " << parsed.message;
        EXPECT_EQ(connectionItem(parsed.items, c.name), std::optional<std::string>(c.value)) << c.text;
    }
}

TEST(ConnectionString, FaultsReportTheirPosition)
{
    struct Case {
        const char* text;
        std::size_t column;
    };
    const Case cases[] = {{"A=1;B", 5}, {"A=\"open", 3}, {"=1", 1}, {"A=\"x\"y", 6}};
    for (const Case& c : cases) {
        ConnectionStringParseResult parsed = parseConnectionString(c.text);
        EXPECT_FALSE(parsed) << c.text;
        EXPECT_EQ(parsed.position, c.column) << c.text;
        EXPECT_TRUE(parsed.items.empty());
    }
}

TEST(ProviderMessages, TrailingSpacesControlsAndPeriodsGo)
{
    EXPECT_EQ(cleanProviderMessage("Could not find file 'x'.  \r\n"), "Could not find file 'x'");
    EXPECT_EQ(cleanProviderMessage("Ends with dots..."), "Ends with dots");
    EXPECT_EQ(cleanProviderMessage("a.b"), "a.b");
    EXPECT_EQ(cleanProviderMessage(" . \t"), "");
}

TEST(ProviderMessages, EmptyTextGivesTheErrorCode)
{
    try {
        providerError("...", static_cast<int32_t>(0x80004005));
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "OLE error 80004005");
        EXPECT_EQ(e.ErrorCode(), static_cast<int32_t>(0x80004005));
    }
}

TEST(ProviderRegistry, UnknownProviderIsNamed)
{
    try {
        openProviderConnection("Provider=No.Such.Provider;Data Source=x");
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Provider 'No.Such.Provider' cannot be found. It may not be properly installed");
    }
    EXPECT_THROW(openProviderConnection("Data Source=x"), EOleException);
    EXPECT_THROW(openProviderConnection("Provider=\"unterminated"), EOleException);
}

TEST(ProviderRegistry, NamesCompareWithoutCaseAndCanBeReplaced)
{
    int opened = 0;
    registerProvider("Test.Counting", [&](const std::vector<ConnectionItem>& items) -> std::unique_ptr<ProviderConnection> {
        ++opened;
        EXPECT_EQ(connectionItem(items, "data source"), std::optional<std::string>("db"));
        return nullptr;
    });
    openProviderConnection("provider=TEST.counting;Data Source=db");
    EXPECT_EQ(opened, 1);
    unregisterProvider("test.Counting");
    EXPECT_THROW(openProviderConnection("Provider=Test.Counting"), EOleException);
}

} // namespace
