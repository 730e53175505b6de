// Jet files read through libmdb: column descriptions, exact values, the window's commands, the
// sample against its SQLite twin, and damaged files.

#include "Fixture.h"
#include "JetFixture.h"
#include "JetWriter.h"
#include "MdbProvider.h"
#include "Provider.h"
#include "SampleComponents.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace
{

using vl::encodeDayNumber;

std::string connectionTo(const std::string& path)
{
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class JetRead : public testing::Test
{
protected:
    void SetUp() override
    {
        m_path = m_dir.file("all.mdb");
        vl::jet::writeDatabaseFile(m_path, vl::test::allTypesTables());
        m_connection = vl::openProviderConnection(connectionTo(m_path));
    }
    vl::test::TempDir m_dir;
    std::string m_path;
    std::unique_ptr<vl::ProviderConnection> m_connection;
};

TEST_F(JetRead, ColumnsCarryTheJetProvidersTypeCodes)
{
    auto result = m_connection->execute("select * from Everything");
    struct Expected {
        const char* name;
        int type, size, precision, scale;
        bool fixed, autoIncrement;
    };
    const Expected expected[] = {
        { "ID", vl::adInteger, 4, 10, 0, true, true },
        { "Flag", vl::adBoolean, 2, 0, 0, true, false },
        { "Small", vl::adUnsignedTinyInt, 1, 3, 0, true, false },
        { "Short", vl::adSmallInt, 2, 5, 0, true, false },
        { "Long", vl::adInteger, 4, 10, 0, true, false },
        { "Money", vl::adCurrency, 8, 19, 4, true, false },
        { "Single", vl::adSingle, 4, 7, 0, true, false },
        { "Double", vl::adDouble, 8, 15, 0, true, false },
        { "When", vl::adDate, 8, 0, 0, true, false },
        { "Bin", vl::adBinary, 8, 0, 0, false, false },
        { "Name", vl::adVarWChar, 30, 0, 0, false, false },
        { "Picture", vl::adLongVarBinary, 1073741823, 0, 0, false, false },
        { "Notes", vl::adLongVarWChar, 536870910, 0, 0, false, false },
        { "Guid", vl::adGUID, 16, 0, 0, true, false },
        { "Amount", vl::adNumeric, 19, 18, 3, true, false },
    };
    const auto& columns = result->columns();
    ASSERT_EQ(columns.size(), std::size(expected));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const Expected& e = expected[i];
        EXPECT_EQ(columns[i].name, e.name);
        EXPECT_EQ(columns[i].type, e.type) << e.name;
        EXPECT_EQ(columns[i].definedSize, e.size) << e.name;
        EXPECT_EQ(columns[i].precision, e.precision) << e.name;
        EXPECT_EQ(columns[i].scale, e.scale) << e.name;
        EXPECT_EQ(columns[i].isFixedLength, e.fixed) << e.name;
        ASSERT_TRUE(columns[i].isAutoIncrement.has_value()) << e.name;
        EXPECT_EQ(*columns[i].isAutoIncrement, e.autoIncrement) << e.name;
        EXPECT_EQ(columns[i].isUpdatable, !e.autoIncrement) << e.name;
        EXPECT_FALSE(columns[i].isRowId);
    }
}

TEST_F(JetRead, ValuesConvertExactly)
{
    using K = vl::ProviderCell::Kind;
    auto r = m_connection->execute("select * from Everything order by ID");
    ASSERT_EQ(r->rowCount(), 3u);
    auto cell = [&](std::size_t row, std::size_t column) { return r->cell(row, column); };
    EXPECT_EQ(cell(0, 0).integer, 1); // numbered by the writer
    EXPECT_EQ(cell(2, 0).integer, 3);
    EXPECT_EQ(cell(0, 1).integer, -1);
    EXPECT_EQ(cell(1, 1).integer, 0);
    EXPECT_EQ(cell(2, 1).kind, K::Integer); // a yes/no is never null
    EXPECT_EQ(cell(2, 1).integer, 0);
    EXPECT_EQ(cell(0, 2).integer, 200);
    EXPECT_EQ(cell(0, 3).integer, -12345);
    EXPECT_EQ(cell(1, 3).integer, 32767);
    EXPECT_EQ(cell(1, 4).integer, INT32_MIN);
    EXPECT_EQ(cell(0, 5).kind, K::Currency);
    EXPECT_EQ(cell(0, 5).integer, -123456);
    EXPECT_EQ(cell(1, 5).integer, INT64_MAX);
    EXPECT_EQ(cell(0, 6).real, static_cast<double>(0.1f));
    EXPECT_EQ(cell(0, 7).real, 3.141592653589793);
    EXPECT_TRUE(std::signbit(cell(1, 7).real));
    EXPECT_EQ(cell(0, 8).kind, K::Date);
    EXPECT_EQ(cell(0, 8).real, encodeDayNumber(2023, 3, 1, 8, 30));
    EXPECT_EQ(cell(1, 8).real, -1.5);
    EXPECT_EQ(cell(0, 9).bytes, std::string("\x00\x01\xfe\xff", 4));
    EXPECT_EQ(cell(0, 10).bytes, "徐静 & <A>");
    EXPECT_EQ(cell(1, 10).kind, K::Text); // empty, not missing
    EXPECT_EQ(cell(1, 10).bytes, "");
    std::string picture;
    for (int i = 0; i < 10000; ++i)
        picture += static_cast<char>(i * 7 % 256);
    EXPECT_EQ(cell(0, 11).bytes, picture);
    EXPECT_EQ(cell(1, 11).bytes, "x");
    EXPECT_EQ(cell(0, 12).bytes, vl::test::longText(12000, "备注note")); // a chain of long-value pages
    EXPECT_EQ(cell(1, 12).bytes, vl::test::longText(1500, "ab"));
    EXPECT_EQ(cell(0, 13).bytes, "{12345678-9ABC-DEF0-1122-334455667788}");
    EXPECT_EQ(cell(0, 14).kind, K::Currency);
    EXPECT_EQ(cell(0, 14).integer, 123456780);
    EXPECT_EQ(cell(1, 14).integer, -10); // -0.0005 rounded to scale 3
    for (std::size_t c = 2; c < r->columns().size(); ++c)
        EXPECT_EQ(cell(2, c).kind, K::Null) << r->columns()[c].name;
}

TEST_F(JetRead, CommandsFilterOrderAndFailWithClearTexts)
{
    auto r
        = m_connection->execute("select [Name], ID from everything where Flag = True or Short > 100 order by id desc");
    ASSERT_EQ(r->rowCount(), 2u);
    EXPECT_EQ(r->cell(0, 1).integer, 2);
    EXPECT_EQ(r->cell(1, 0).bytes, "徐静 & <A>");
    EXPECT_EQ(m_connection->execute("select * from [Nothing Here]")->rowCount(), 0u);
    auto failure = [&](const std::string& command) {
        try {
            m_connection->execute(command);
        } catch (const EOleException& e) {
            return e.Message();
        }
        return std::string("no failure");
    };
    EXPECT_EQ(failure("select * from Missing"), "The input table or query 'Missing' cannot be found");
    EXPECT_EQ(failure("select * from Everything order"), "Invalid command text: incomplete input");
    EXPECT_EQ(failure("delete from Everything"), "Invalid command text: table Everything may not be modified");
    EXPECT_EQ(failure("select Nope from Everything"), "Invalid command text at position 8: no such column: Nope");
    EXPECT_EQ(failure("  "), "Command text was not set for the command object");
}

// The program's sample test.mdb is a Jet 4 file and gives every field the same value text as the
// SQLite build of the same script.
TEST(JetSample, ReadsLikeTheSqliteSampleThroughTheWindowsComponents)
{
    const std::string sqliteFolder = std::string(VL_RUN_DIR) + "/sqlite";
    if (!std::filesystem::exists(sqliteFolder + "/test.mdb")
        || !std::filesystem::exists(std::string(VL_RUN_DIR) + "/test.mdb"))
        GTEST_SKIP() << "the samples are not built";
    {
        char magic[0x15] = {};
        std::ifstream(std::string(VL_RUN_DIR) + "/test.mdb", std::ios::binary).read(magic, sizeof magic);
        EXPECT_EQ(std::string(magic + 4, 15), "Standard Jet DB");
        EXPECT_EQ(magic[0x14], 1) << "not a Jet 4 file";
        std::ifstream(sqliteFolder + "/test.mdb", std::ios::binary).read(magic, sizeof magic);
        EXPECT_EQ(std::memcmp(magic, "SQLite format 3", 15), 0);
    }
    auto texts = [](const std::string& folder) {
        vl::test::CurrentDirectory cwd(folder);
        TComponent owner(nullptr);
        TADOConnection* connection;
        TADODataSet* departments;
        TDataSource* source;
        TADODataSet* employees;
        vl::loadSampleDataComponents(&owner, connection, departments, source, employees);
        connection->Open();
        departments->Open();
        employees->Open();
        std::vector<std::vector<std::string>> rows;
        for (TADODataSet* set : { departments, employees }) {
            std::vector<std::string> names;
            for (int i = 0; i < set->FieldCount(); ++i)
                names.push_back(set->FieldAt(i)->FieldName());
            rows.push_back(names);
            for (set->First(); !set->AtEnd(); set->Next()) {
                std::vector<std::string> values;
                for (int i = 0; i < set->FieldCount(); ++i)
                    values.push_back(set->FieldAt(i)->ValueText());
                rows.push_back(values);
            }
        }
        return rows;
    };
    const auto jet = texts(VL_RUN_DIR);
    const auto sqlite = texts(sqliteFolder);
    ASSERT_EQ(jet.size(), 1u + 12u + 1u + 36u);
    ASSERT_EQ(sqlite.size(), jet.size());
    for (std::size_t i = 0; i < jet.size(); ++i)
        EXPECT_EQ(jet[i], sqlite[i]) << "row " << i;
    // The sample keeps a null of every type that can hold one (a yes/no cannot).
    auto nulls = [&](std::size_t header, std::size_t count, const std::string& column) {
        const auto& names = jet[header];
        const auto at = std::find(names.begin(), names.end(), column) - names.begin();
        int found = 0;
        for (std::size_t row = header + 1; row <= header + count; ++row)
            found += jet[row].at(static_cast<std::size_t>(at)).empty() ? 1 : 0;
        return found;
    };
    EXPECT_EQ(nulls(0, 12, "DeptCode"), 1); // text
    EXPECT_EQ(nulls(13, 36, "Sex"), 1); // text
    EXPECT_EQ(nulls(13, 36, "Birthday"), 1); // date
    EXPECT_EQ(nulls(13, 36, "Salary"), 1); // currency
    EXPECT_EQ(nulls(13, 36, "Married"), 0); // yes/no
    EXPECT_GT(nulls(13, 36, "Memo"), 1); // memo (and one empty memo)
}

// Truncated and damaged copies fail with a message naming the file; none crashes.
class JetDamaged : public testing::Test
{
protected:
    void SetUp() override
    {
        m_good = vl::jet::buildDatabase(vl::test::allTypesTables());
        m_path = m_dir.file("damaged.mdb");
    }
    // Opens and reads every table; "" when all of it reads. From a file through the provider, or
    // straight from memory (the same reader, without the file system) when inMemory.
    std::string readAll(const std::string& bytes, bool inMemory = false)
    {
        try {
            std::unique_ptr<vl::ProviderConnection> connection;
            if (inMemory) {
                connection = vl::openJetDatabaseBytes(bytes, m_path);
            } else {
                writeFile(m_path, bytes);
                connection = vl::openProviderConnection(connectionTo(m_path));
            }
            connection->execute("select * from Everything order by Name desc");
            connection->execute("select * from [Nothing Here]");
        } catch (const EOleException& e) {
            return e.Message();
        }
        return "";
    }
    vl::test::TempDir m_dir;
    std::string m_good;
    std::string m_path;
};

TEST_F(JetDamaged, TruncatedCopiesFailWithAClearMessage)
{
    EXPECT_EQ(readAll(m_good), "");
    const std::string prefix = "The file '" + m_path + "' is damaged: ";
    for (std::size_t size : { std::size_t(30), std::size_t(4095), std::size_t(4096), std::size_t(8192),
             std::size_t(12288), std::size_t(3 * 4096 + 100), m_good.size() - 4096, m_good.size() - 1 }) {
        const std::string message = readAll(m_good.substr(0, size));
        EXPECT_EQ(message.rfind(prefix, 0), 0u) << size << ": " << message;
    }
    EXPECT_EQ(readAll(m_good.substr(0, 4095)), prefix + "it ends inside page 0 (4095 bytes, pages of 4096)");
    EXPECT_EQ(readAll(m_good.substr(0, 8192)), prefix + "it ends before its system catalog");
}

TEST_F(JetDamaged, FlippedBitsAndGarbageNeverCrash)
{
    uint64_t state = 0x9e3779b97f4a7c15u;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::size_t failures = 0;
    const std::size_t rounds = 1000;
    for (std::size_t round = 0; round < rounds; ++round) {
        std::string copy = m_good;
        // Mostly single bits in the structure pages; every tenth round 32 bytes of garbage anywhere.
        if (round % 10 == 9) {
            const std::size_t at = next() % (copy.size() - 32);
            for (std::size_t i = 0; i < 32; ++i)
                copy[at + i] = static_cast<char>(next());
        } else {
            const std::size_t at = next() % std::min<std::size_t>(copy.size(), 8 * 4096);
            copy[at] = static_cast<char>(copy[at] ^ (1 << (next() % 8)));
        }
        const std::string message = readAll(copy, true);
        if (!message.empty()) {
            ++failures;
            // A flipped bit in a table's or a column's name leaves a sound file without that name.
            const bool named = message.find(m_path) != std::string::npos
                || message.rfind("The input table or query '", 0) == 0
                || message.find(": no such column: ") != std::string::npos;
            EXPECT_TRUE(named) << message;
        }
    }
    EXPECT_GT(failures, 0u);
    EXPECT_LT(failures, rounds);
}

TEST_F(JetDamaged, EncryptedAndForeignHeadersAreRefused)
{
    std::string copy = m_good;
    copy[0x3e] = static_cast<char>(copy[0x3e] ^ 0x01); // a database key other than 0
    EXPECT_EQ(readAll(copy), "The file '" + m_path + "' is encrypted; encrypted databases are not supported");
    copy = m_good;
    copy[0x14] = 0x07;
    EXPECT_EQ(readAll(copy), "The file '" + m_path + "' is damaged: its header names the unknown format version 7");
}

} // namespace

namespace
{

// Hostile command texts through the window's components on a Jet file: refused with SQLite's
// message, and the process lives on.
TEST(JetCommandLimits, DeepNestingAndLongChainsAreRefusedAndShortChainsRun)
{
    vl::test::TempDir dir;
    vl::jet::writeDatabaseFile(dir.file("all.mdb"), vl::test::allTypesTables());
    TComponent owner(nullptr);
    TADODataSet* dataSet = vl::test::connectDataSet(owner, connectionTo(dir.file("all.mdb"))).dataSet;
    auto repeated = [](const std::string& unit, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out += unit;
        return out;
    };
    const std::string head = "select ID from Everything where ";
    struct Case {
        std::string command;
        std::string message;
    };
    const Case cases[] = {
        { head + repeated("(", 20000) + "ID=1" + repeated(")", 20000), "Invalid command text: parser stack overflow" },
        { head + repeated("(", 257) + "ID=1" + repeated(")", 257), "Invalid command text: parser stack overflow" },
        { head + repeated("Short=1 or ", 10000) + "Short=32767",
            "Invalid command text: Expression tree is too large (maximum depth 1000)" },
        { head + repeated("not ", 5000) + "ID=1", "Invalid command text: parser stack overflow" },
        { "select '" + repeated("x", 1 << 20) + "' from Everything", "The command text is longer than 1048576 bytes" },
    };
    for (const Case& c : cases) {
        dataSet->SetCommandText(c.command);
        try {
            dataSet->Open();
            ADD_FAILURE() << "opened " << c.command.substr(0, 60);
        } catch (const EOleException& e) {
            EXPECT_EQ(e.Message(), c.message) << c.command.substr(0, 60);
        }
        EXPECT_FALSE(dataSet->Active());
    }
    dataSet->SetCommandText(head + repeated("Short=1 or ", 900) + "Short=32767");
    dataSet->Open();
    EXPECT_EQ(dataSet->RecordCount(), 1);
}

} // namespace
