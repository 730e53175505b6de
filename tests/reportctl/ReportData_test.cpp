#include "ReportData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <sys/mman.h>

#include <cmath>
#include <random>
#include <string>

using namespace vl;

namespace {

// The example document of the data source, byte for byte as its writer produces it.
const char* const ExampleDocument
    = "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>"
      "<Row DeptNo=\"10\" DeptName=\"Sales &amp; &quot;Export&quot;\"/><Row DeptNo=\"20\" DeptName=\"R&lt;D\"/>"
      "</Master><Detail><Row __MasterIdx=\"0\" DeptNo=\"10\"/><Row __MasterIdx=\"0\" DeptNo=\"10\"/>"
      "<Row __MasterIdx=\"1\" DeptNo=\"20\"/></Detail></DocumentData>";

std::vector<QString> values(const std::vector<DataRow>& rows, const char* field)
{
    std::vector<QString> result;
    for (const DataRow& row : rows)
        result.push_back(row.value(field) ? *row.value(field) : QStringLiteral("<none>"));
    return result;
}

} // namespace

TEST(DataDocument, ExampleBuildsMasterRowsAndGroups)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(ExampleDocument, data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_TRUE(data.hasMaster);
    EXPECT_EQ(values(data.masterRows, "deptname"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
    EXPECT_EQ(data.masterFieldNames, (std::vector<QString>{"DeptNo", "DeptName"}));
    ASSERT_EQ(data.details.size(), 1u);
    const DetailTable* detail = data.detail("DETAIL");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail->rows.size(), 3u);
    EXPECT_EQ(detail->groups, (std::vector<std::vector<int>>{{0, 1}, {2}}));
    EXPECT_EQ(detail->fieldNames, (std::vector<QString>{"DeptNo"})) << "__MasterIdx is no field";
    EXPECT_EQ(detail->rows[2].value("__MasterIdx"), std::nullopt);
}

TEST(DataDocument, WithoutMasterDetailsArePlainTables)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<DocumentData><Detail><Row DeptNo=\"10\"/><Row DeptNo=\"30\"/></Detail><Other></Other></DocumentData>", data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_FALSE(data.hasMaster);
    ASSERT_EQ(data.details.size(), 2u);
    EXPECT_EQ(values(data.details[0].rows, "DeptNo"), (std::vector<QString>{"10", "30"}));
    EXPECT_TRUE(data.details[0].groups.empty());
    EXPECT_TRUE(data.details[1].rows.empty());
}

TEST(DataDocument, AttributeValuesKeepTabsAndLineBreaks)
{
    ReportDataSet data;
    const ParseResult result
        = parseDataDocument("<DocumentData><Master><Row Memo=\"a\tb\r\nc\rd\ne  f\"/></Master></DocumentData>", data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(*data.masterRows.at(0).value("Memo"), QStringLiteral("a\tb\r\nc\rd\ne  f"));
}

TEST(DataDocument, DeclaredEncodingIsIgnored)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master><Row DeptName=\"销售部\"/></Master></DocumentData>",
        data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(*data.masterRows.at(0).value("DeptName"), QStringLiteral("销售部"));
}

TEST(DataDocument, RefusesWithPositionAndReason)
{
    const RefusalCase<char> cases[] = {
        {"<DocumentData><Master><Row a=\"1\"></Master></DocumentData>", 1, 36, "Start-end tags mismatch"},
        {"<DocumentData><Master><Row a=\"1/></Master></DocumentData>", 1, 31, "Error parsing element attribute"},
        {"", 1, 1, "No document element"},
        {"<Data/>", 1, 1, "the root element is <Data>, expected <DocumentData>"},
        {"<!DOCTYPE DocumentData><DocumentData/>", 1, 1, "document type declarations are not allowed"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"1\"/></Detail></DocumentData>", 1, 46,
         "__MasterIdx=\"1\" names no master row (there are 1)"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"-1\"/></Detail></DocumentData>", 1, 46,
         "names no master row"},
        {"<DocumentData><Master><Row/></Master><Detail><Row __MasterIdx=\"x\"/></Detail></DocumentData>", 1, 46,
         "names no master row"},
        {"<DocumentData><Master><Row/></Master><Detail><Row a=\"1\"/></Detail></DocumentData>", 1, 46,
         "detail row without __MasterIdx"},
        {"<DocumentData><Master><Item/></Master></DocumentData>", 1, 23, "<Item> found where <Row> was expected"},
        {"<DocumentData><D/><D/></DocumentData>", 1, 19, "detail block <D> appears twice"},
        {"<DocumentData><Detail/><DETAIL/></DocumentData>", 1, 24, "detail block <DETAIL> appears twice"},
        // An attribute named twice, at the second; names differing in letter case are two.
        {"<DocumentData><Master><Row a=\"1\" b=\"2\" a=\"3\"/></Master></DocumentData>", 1, 40,
         "the attribute \"a\" appears twice in the row"},
        {"<DocumentData><Master><Row a=\"1\" A=\"2\"/>\n<Row a=\"1\" A=\"2\" a=\"3\"/></Master></DocumentData>", 2, 18,
         "the attribute \"a\" appears twice"},
        {"<DocumentData><Master><Row/></Master><D><Row __MasterIdx=\"0\" __MasterIdx=\"0\"/></D></DocumentData>", 1, 62,
         "the attribute \"__MasterIdx\" appears twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        ReportDataSet data;
        data.hasMaster = true;
        const ParseResult result = parseDataDocument(c.xml, data);
        expectRefused(result, c);
        EXPECT_TRUE(result.message.startsWith("Data document: ")) << result.message.toStdString();
        EXPECT_TRUE(data.hasMaster) << "a refused document leaves the old data";
    }
}

TEST(DataDocument, MalformedMarkupIsRefusedWhereItGoesWrong)
{
    const RefusalCase<char16_t> cases[] = {
        {u"<DocumentData><!-- open", 1, 15, "Error parsing comment"},
        {u"<DocumentData><![CDATA[ x", 1, 15, "Error parsing CDATA section"},
        {u"<?xml version=\"1.0\"", 1, 1, "Error parsing document declaration/processing instruction"},
        {u"<? x?><DocumentData/>", 1, 1, "Error parsing document declaration/processing instruction"},
        {u"<DocumentData></DocumentData", 1, 29, "Error parsing end element tag"},
        {u"<DocumentData></ DocumentData>", 1, 17, "Error parsing end element tag"},
        {u"<DocumentData><Master><Row a=\"1\"b=\"2\"/>", 1, 33, "Error parsing element attribute"},
        {u"<DocumentData><Master><Row a/></Master></DocumentData>", 1, 29, "Error parsing element attribute"},
        {u"<DocumentData><Master><Row a=1/></Master></DocumentData>", 1, 30, "Error parsing element attribute"},
        {u"<DocumentData><Master><Row =\"1\"/></Master></DocumentData>", 1, 28, "Error parsing element attribute"},
        {u"<DocumentData><Master><Row/ ></Master></DocumentData>", 1, 27, "Error parsing start element tag"},
        {u"<DocumentData><Master><Row a=\"1\"", 1, 33, "Error parsing start element tag"},
        {u"<DocumentData>< Master/>", 1, 15, "Could not determine tag type"},
        {u"<DocumentData><!ELEMENT x></DocumentData>", 1, 15, "Could not determine tag type"},
        {u"<DocumentData><", 1, 15, "Could not determine tag type"},
        {u"<DocumentData><Master>", 1, 23, "Start-end tags mismatch"},
        {u"</DocumentData>", 1, 3, "Start-end tags mismatch"},
        {u"<DocumentData><Master></master></DocumentData>", 1, 25, "Start-end tags mismatch"},
        {u"<DocumentData/>x", 1, 16, "text outside the root element"},
        {u"\n  &amp;<DocumentData/>", 2, 3, "text outside the root element"},
        {u"<DocumentData/><![CDATA[x]]>", 1, 25, "text outside the root element"},
        {u" <DocumentData/><DocumentData/>", 1, 17, "more than one root element"},
        {u"<!-- only a comment -->", 1, 24, "No document element"},
        // A supplementary character is one column, however many units it takes.
        {u"<DocumentData>\r\n<Master><Row a=\"\U0001F600\" b=\"1/>", 2, 23, "Error parsing element attribute"},
    };
    for (const auto& c : cases) {
        const QString xml = QString::fromUtf16(c.xml);
        SCOPED_TRACE(xml.toStdString());
        ReportDataSet data;
        const ParseResult result = parseDataDocument(xml, data);
        expectRefused(result, c);
        EXPECT_TRUE(data.empty());
    }
}

TEST(DataDocument, MarkupAroundTheRowsIsPassedOver)
{
    // Comments, instructions, CDATA, text and child elements may stand anywhere; only the rows'
    // attributes are data. Quotes of either kind, spacing around "=" and names beyond ASCII are XML.
    const QString xml = QString::fromUtf16(
        u"\uFEFF<?xml version='1.0'?>\n<!-- head --><DocumentData>text<?pi x?><Master><![CDATA[<Row a=\"no\"/>]]>"
        u"<Row a='say \"hi\"' b = \"x>y\"\n\t名前=\"値\" c-1.d:e=''/><!-- between -->\n<Row a=\"2\"><Sub a=\"no\"/>"
        u"inner &amp; text</Row></Master><Detail><Row __MasterIdx=\"1\" v=\"\U0001F600&#x1F600;&#128512;\"/>"
        u"</Detail></DocumentData><!-- tail -->\n");
    ReportDataSet data;
    const ParseResult result = parseDataDocument(xml, data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    ASSERT_EQ(data.masterRows.size(), 2u);
    const DataRow& first = data.masterRows[0];
    EXPECT_EQ(first.value("a"), QStringLiteral("say \"hi\""));
    EXPECT_EQ(first.value("b"), QStringLiteral("x>y"));
    EXPECT_EQ(first.value(QString::fromUtf16(u"名前")), QString::fromUtf16(u"値"));
    EXPECT_EQ(first.value("c-1.d:e"), QString(""));
    EXPECT_EQ(data.masterRows[1].fieldCount(), 1u) << "a child element's attributes are not the row's";
    EXPECT_EQ(data.masterRows[1].value("a"), QStringLiteral("2"));
    const QString smiles = QString::fromUtf16(u"\U0001F600\U0001F600\U0001F600");
    EXPECT_EQ(data.detail("Detail")->rows.at(0).value("v"), smiles);
    EXPECT_EQ(data.detail("Detail")->groups, (std::vector<std::vector<int>>{{}, {0}}));
}

// The same text through every entry: as a shared string, a view, UTF-8 bytes and a C string.
std::vector<std::pair<const char*, ParseResult>> readEveryWay(const QString& xml, std::vector<ReportDataSet>& sets)
{
    const std::string utf8 = xml.toStdString();
    sets.assign(4, ReportDataSet{});
    return {{"QString", parseDataDocument(xml, sets[0])},
            {"QStringView", parseDataDocument(QStringView(xml), sets[1])},
            {"string_view", parseDataDocument(std::string_view(utf8), sets[2])},
            {"const char*", parseDataDocument(utf8.c_str(), sets[3])}};
}

TEST(DataDocument, AByteOrderMarkAtTheStartIsPassedOver)
{
    std::vector<ReportDataSet> sets;
    const auto results
        = readEveryWay(QString::fromUtf16(u"\uFEFF<DocumentData><Master><Row a=\"1\"/></Master></DocumentData>"), sets);
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(results[i].first);
        ASSERT_TRUE(results[i].second.ok) << results[i].second.message.toStdString();
        EXPECT_EQ(sets[i].masterRows.at(0).value("a"), QStringLiteral("1"));
    }
    // Positions count from after the mark; one anywhere else is text outside the root.
    const auto refusals = readEveryWay(QString::fromUtf16(u"\uFEFF<DocumentData><Master><Row a=\"1/>"), sets);
    for (const auto& [form, result] : refusals) {
        SCOPED_TRACE(form);
        EXPECT_EQ(result.column, 31) << result.message.toStdString();
    }
    for (const auto& [form, result] : readEveryWay(QString::fromUtf16(u" \uFEFF<DocumentData/>"), sets)) {
        SCOPED_TRACE(form);
        EXPECT_TRUE(result.message.contains("text outside the root element")) << result.message.toStdString();
        EXPECT_EQ(result.column, 2);
    }
    // UTF-16 handed over as bytes is named for what it is.
    for (const std::string& bytes : {std::string("\xFF\xFE<\0D\0", 6), std::string("\xFE\xFF\0<\0D", 6)}) {
        ReportDataSet data;
        const ParseResult result = parseDataDocument(std::string_view(bytes), data);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains("UTF-16 byte-order mark")) << result.message.toStdString();
        EXPECT_EQ(result.line, 1);
    }
}

// One row of 40 000 attributes; half of the names differ from the other half in letter case only.
TEST(DataDocument, AWideRowIsReadWhole)
{
    constexpr int Count = 40000;
    QString row = QStringLiteral("<Row");
    for (int i = 0; i < Count; ++i)
        row += QStringLiteral(" %1%2=\"%3\"").arg(QChar(i % 2 ? u'f' : u'F')).arg(i / 2).arg(i);
    row += QStringLiteral(" Extra=\"e\"/>");
    const QString xml = QStringLiteral("<DocumentData><Master>") + row + row + QStringLiteral("</Master></DocumentData>");
    ReportDataSet data;
    const ParseResult result = parseDataDocument(xml, data);
    ASSERT_TRUE(result.ok) << result.message.left(200).toStdString();
    ASSERT_EQ(data.masterRows.size(), 2u);
    for (const DataRow& read : data.masterRows) {
        ASSERT_EQ(read.fieldCount(), static_cast<std::size_t>(Count + 1));
        EXPECT_EQ(read.fieldName(Count - 1), QStringLiteral("f19999"));
        EXPECT_EQ(read.fieldValue(Count - 1), QStringLiteral("39999"));
        // Every field by its exact name, then by names found only without letter case.
        for (std::size_t i = 0; i < read.fieldCount(); ++i)
            ASSERT_EQ(read.value(read.fieldName(i)), read.fieldValue(i)) << i;
        EXPECT_EQ(read.value("EXTRA"), QStringLiteral("e"));
        EXPECT_EQ(read.value(QString::fromUtf16(u"\uFF26123")), std::nullopt) << "full-width F is no F";
        EXPECT_EQ(read.number("EXTRA"), std::nullopt);
        EXPECT_EQ(read.number("f123"), 247);
        EXPECT_EQ(read.value("F40000"), std::nullopt);
    }
    ASSERT_EQ(data.masterFieldNames.size(), static_cast<std::size_t>(Count / 2 + 1)) << "one per name without letter case";
    EXPECT_EQ(data.masterFieldNames.front(), QStringLiteral("F0"));
    EXPECT_EQ(data.masterFieldNames.back(), QStringLiteral("Extra"));
}

// What a hostile document could make beyond its size is bounded, and refused where it goes over.
TEST(DataDocument, HostileShapesAreBounded)
{
    struct Case {
        const char* what;
        QString xml;
        const char* reason;
        int column; // 0: not checked
    };
    QString blocks;
    for (std::size_t i = 0; i <= MaxDetailBlocks; ++i)
        blocks += QStringLiteral("<D%1/>").arg(i);
    QString manyGroups = QStringLiteral("<DocumentData><Master>") + QStringLiteral("<Row/>").repeated(8192)
                       + QStringLiteral("</Master>");
    for (int i = 0; i < 600; ++i)
        manyGroups += QStringLiteral("<D%1/>").arg(i);
    QString manyShapes = QStringLiteral("<DocumentData><Master>");
    for (int i = 0; i < 200000; ++i)
        manyShapes += QStringLiteral("<Row n%1=\"\"/>").arg(i);
    const QString longName(100000, u'N');
    const Case cases[] = {
        {"detail blocks", "<DocumentData>" + blocks + "</DocumentData>", "more than 1024 detail blocks", 0},
        {"groups", manyGroups + "</DocumentData>", "too many detail blocks for 8192 master rows", 0},
        {"shapes", manyShapes + "</Master></DocumentData>", "different sets of attributes among the rows", 0},
        {"long name", "<" + longName + "/>", "the root element is <NNNN", 1},
        {"long stray", "<DocumentData><Master><" + longName + "/></Master></DocumentData>", "found where <Row>", 23},
        {"long attribute", "<DocumentData><Master><Row " + longName + "=\"\" " + longName + "=\"\"/></Master></DocumentData>",
         "appears twice", 100032},
        {"long master index", "<DocumentData><Master><Row/></Master><D><Row __MasterIdx=\"" + QString(100000, u'0') + "1\"/></D></DocumentData>",
         "names no master row", 41},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ReportDataSet data;
        const ParseResult result = parseDataDocument(c.xml, data);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains(QString::fromUtf8(c.reason))) << result.message.left(300).toStdString();
        EXPECT_LT(result.message.size(), 300) << "names are shortened in messages";
        if (c.column) {
            EXPECT_EQ(result.column, c.column);
        }
        EXPECT_TRUE(data.empty());
    }
    // Just within the bounds.
    blocks.chop(QStringLiteral("<D1024/>").size());
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument("<DocumentData>" + blocks + "</DocumentData>", data).ok);
    EXPECT_EQ(data.details.size(), MaxDetailBlocks);
}

// Texts beyond the limit, seen through memory that is mapped but never touched.
TEST(DataDocument, TextsBeyondTheLimitAreRefusedBeforeTheyAreRead)
{
    const std::size_t bytes = static_cast<std::size_t>(MaxDataDocumentChars + 1) * sizeof(char16_t);
    void* const mapped = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED)
        GTEST_SKIP() << "no address space for the over-long text";
    const auto* units = static_cast<const QChar*>(mapped);
    const auto* narrow = static_cast<const char*>(mapped);
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(ExampleDocument, data).ok);
    const ParseResult results[] = {
        parseDataDocument(QString::fromRawData(units, MaxDataDocumentChars + 1), data),
        parseDataDocument(QStringView(units, MaxDataDocumentChars + 1), data),
        parseDataDocument(std::string_view(narrow, static_cast<std::size_t>(MaxDataDocumentChars) + 1), data),
    };
    munmap(mapped, bytes);
    for (const ParseResult& result : results) {
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.message.contains("536870913")) << result.message.toStdString();
        EXPECT_TRUE(result.message.contains("more than the largest document read")) << result.message.toStdString();
        EXPECT_EQ(result.line, 0);
    }
    EXPECT_EQ(values(data.masterRows, "DeptNo"), (std::vector<QString>{"10", "20"})) << "the old data stay";
}

TEST(DataDocument, SharesTheTextItIsGiven)
{
    QString xml = QString::fromUtf8(ExampleDocument);
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(xml, data).ok);
    EXPECT_EQ(data.parsed.use_count(), 1);
    // The caller's own copy may change: the data keep the text they were read from.
    xml.replace("Sales", "Other");
    xml.clear();
    EXPECT_EQ(values(data.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
}

TEST(DataDocument, AReloadReusesTheStorageOnlyWhenNothingElseHoldsIt)
{
    const QString first = QString::fromUtf8(ExampleDocument);
    QString second = first;
    second.replace("Sales", "Sold!"); // the same length
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(QStringView(first), data).ok);
    const QChar* storage = data.text().constData();
    EXPECT_NE(storage, first.constData()) << "the text is copied: the caller's may go";

    ASSERT_TRUE(parseDataDocument(QStringView(second), data).ok);
    EXPECT_EQ(data.text().constData(), storage);
    EXPECT_EQ(data.text(), second);
    EXPECT_EQ(values(data.masterRows, "DeptName"), (std::vector<QString>{"Sold! & \"Export\"", "R<D"}));
    EXPECT_EQ(data.masterFieldNames, (std::vector<QString>{"DeptNo", "DeptName"}));

    // A copy of the data set keeps the old document, and so does a copy of its text.
    {
        const ReportDataSet copy = data;
        ASSERT_TRUE(parseDataDocument(QStringView(first), data).ok);
        EXPECT_EQ(values(copy.masterRows, "DeptName"), (std::vector<QString>{"Sold! & \"Export\"", "R<D"}));
        EXPECT_EQ(copy.text(), second);
        EXPECT_EQ(values(data.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
    }
    const QString text = data.text();
    ASSERT_TRUE(parseDataDocument(QStringView(second), data).ok);
    EXPECT_EQ(text, first);
    ASSERT_TRUE(parseDataDocument(QStringView(first), data).ok);

    // A refused document leaves the data and their text as they were.
    const QChar* before = data.text().constData();
    EXPECT_FALSE(parseDataDocument(QStringView(u"<DocumentData><Master>"), data).ok);
    EXPECT_EQ(data.text().constData(), before);
    EXPECT_EQ(values(data.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
}

// A document of more than a million units is copied on another thread while it is read: the rows
// must point into the copy, and a refusal must not leave the copy reading the caller's text.
TEST(DataDocument, ALargeDocumentIsReadWhileItIsCopied)
{
    QString xml = QStringLiteral("<DocumentData><Master>");
    const QString filler(80, QChar(u'\u4E2D'));
    for (int i = 0; i < 14000; ++i)
        xml += QStringLiteral("<Row No=\"%1\" Text=\"%2&amp;\"/>").arg(i).arg(filler);
    xml += QStringLiteral("</Master></DocumentData>");
    ASSERT_GT(xml.size(), 1 << 20);

    ReportDataSet data;
    {
        QString source = xml;
        source.detach();
        ASSERT_TRUE(parseDataDocument(QStringView(source), data).ok);
        EXPECT_NE(data.text().constData(), source.constData());
        source.fill(u'x');
    }
    EXPECT_EQ(data.text(), xml);
    ASSERT_EQ(data.masterRows.size(), 14000u);
    EXPECT_EQ(data.masterRows.front().value("No"), QStringLiteral("0"));
    EXPECT_EQ(data.masterRows.back().value("No"), QStringLiteral("13999"));
    EXPECT_EQ(data.masterRows.back().value("Text"), filler + u'&');

    {
        const ReportDataSet held = data; // so that its storage is not reused: a fresh copy, alongside
        QString broken = xml;
        broken.chop(10); // "</DocumentData>" cut short
        EXPECT_FALSE(parseDataDocument(QStringView(broken), data).ok);
        broken.fill(u'x');
    }
    EXPECT_EQ(data.text(), xml);
    EXPECT_EQ(data.masterRows.at(7000).value("No"), QStringLiteral("7000"));
}

TEST(DataDocument, ALoneSurrogateIsKeptAsGiven)
{
    QString xml = QString::fromUtf16(u"<DocumentData><Master><Row a=\"x\" b=\"\U0001F600y\"/></Master></DocumentData>");
    xml.replace(u'x', QChar(0xD800));
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(QStringView(xml), data).ok);
    EXPECT_EQ(data.text(), xml);
    EXPECT_EQ(data.masterRows.at(0).value("a"), QString(QChar(0xD800)));
    EXPECT_EQ(data.masterRows.at(0).value("b"), QString::fromUtf16(u"\U0001F600y"));
    EXPECT_EQ(data.masterRows.at(0).number("a"), std::nullopt);
}

// Values of every length around the reader's blocks of eight units, with references, quotes and
// markup characters at every position, read as pugixml reads the same bytes.
TEST(DataDocument, ValuesReadAsPugixmlReadsThem)
{
    std::mt19937 random(20261209);
    const std::vector<std::string> pieces = {"a", "Z", "7", " ", "\t", "\r\n", ">", "'", "&amp;", "&lt;", "&gt;",
                                             "&quot;", "&apos;", "&#65;", "&#x4E2D;", "&#128512;", "中", "😀", "é", "-"};
    std::string xml = "<DocumentData><Master>";
    std::vector<std::string> names = {"A", "Bb", "Name", "LongerFieldName", "名", "x.y"};
    for (int row = 0; row < 400; ++row) {
        xml += "<Row";
        std::shuffle(names.begin(), names.end(), random);
        const std::size_t count = random() % (names.size() + 1);
        for (std::size_t i = 0; i < count; ++i) {
            const bool single = random() % 4 == 0;
            xml += " " + names[i] + (single ? "='" : "=\"");
            const std::size_t length = random() % 40;
            for (std::size_t k = 0; k < length; ++k) {
                std::string piece = pieces[random() % pieces.size()];
                if (piece == "'" && single)
                    piece = "\"";
                xml += piece;
            }
            xml += single ? "'" : "\"";
        }
        xml += row % 3 == 0 ? "/>" : "></Row>";
    }
    xml += "</Master></DocumentData>";

    pugi::xml_document reference;
    ASSERT_TRUE(reference.load_buffer(xml.data(), xml.size(), pugi::parse_escapes, pugi::encoding_utf8));
    // Shared as given, decoded from UTF-8, and read from a view, then copied.
    for (const int form : {0, 1, 2}) {
        SCOPED_TRACE(form);
        ReportDataSet data;
        const QString wide = QString::fromUtf8(xml);
        const ParseResult result = form == 0   ? parseDataDocument(wide, data)
                                   : form == 1 ? parseDataDocument(xml, data)
                                               : parseDataDocument(QStringView(wide), data);
        ASSERT_TRUE(result.ok) << result.message.toStdString();
        EXPECT_EQ(data.text(), wide);
        std::size_t index = 0;
        for (const pugi::xml_node& row : reference.child("DocumentData").child("Master").children("Row")) {
            ASSERT_LT(index, data.masterRows.size());
            const DataRow& read = data.masterRows[index++];
            std::size_t field = 0;
            for (const pugi::xml_attribute& attribute : row.attributes()) {
                ASSERT_LT(field, read.fieldCount());
                EXPECT_EQ(read.fieldName(field), QString::fromUtf8(attribute.name()));
                EXPECT_EQ(read.fieldValue(field), QString::fromUtf8(attribute.value())) << attribute.value();
                EXPECT_EQ(read.value(QString::fromUtf8(attribute.name())), QString::fromUtf8(attribute.value()));
                ++field;
            }
            EXPECT_EQ(field, read.fieldCount());
        }
        EXPECT_EQ(index, data.masterRows.size());
    }
}

TEST(DataDocument, ColumnsCountCharactersNotBytes)
{
    int line = 0, column = 0;
    const std::string text = "中文\r\nab\rc\n中x";
    lineAndColumn(text, static_cast<std::ptrdiff_t>(text.size() - 1), line, column);
    EXPECT_EQ(line, 4);
    EXPECT_EQ(column, 2);
    lineAndColumn(text, 6, line, column);
    EXPECT_EQ(line, 1);
    EXPECT_EQ(column, 3);
}

TEST(DataRows, LookupPrefersTheExactSpellingThenIgnoresLetterCase)
{
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument("<DocumentData><Master><Row name=\"lower\" NAME=\"upper\" Code=\"7\"/>"
                                  "<Row Code=\"8\"/></Master></DocumentData>",
                                  data)
                    .ok);
    const DataRow& row = data.masterRows.at(0);
    EXPECT_EQ(row.value("NAME"), QStringLiteral("upper"));
    EXPECT_EQ(row.value("name"), QStringLiteral("lower"));
    EXPECT_EQ(row.value("Name"), QStringLiteral("lower")) << "without an exact match the first field of the name";
    EXPECT_EQ(row.value("cODE"), QStringLiteral("7"));
    EXPECT_EQ(row.value("Missing"), std::nullopt);
    EXPECT_EQ(data.masterRows.at(1).value("code"), QStringLiteral("8"));
    EXPECT_EQ(data.masterRows.at(1).value("name"), std::nullopt) << "a row that leaves the field out has none";
    EXPECT_EQ(data.masterFieldNames, (std::vector<QString>{"name", "Code"}));
}

TEST(DataRows, RowsOfDifferentAttributesKeepTheirOwnFields)
{
    // The writer leaves empty values out, so neighbouring rows may name different attributes; the
    // master index may stand anywhere among them.
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument("<DocumentData><Master><Row/><Row/></Master><D>"
                                  "<Row __MasterIdx=\"0\" A=\"1\" B=\"2\"/><Row A=\"3\" __MasterIdx=\"1\" B=\"4\"/>"
                                  "<Row __MasterIdx=\"1\" B=\"5\"/><Row __MasterIdx=\"0\" B=\"6\" A=\"7\" C=\"\"/>"
                                  "<Row __MasterIdx=\"0\" A=\"8\" B=\"9\"/></D></DocumentData>",
                                  data)
                    .ok);
    const DetailTable& table = data.details.at(0);
    EXPECT_EQ(values(table.rows, "A"), (std::vector<QString>{"1", "3", "<none>", "7", "8"}));
    EXPECT_EQ(values(table.rows, "b"), (std::vector<QString>{"2", "4", "5", "6", "9"}));
    EXPECT_EQ(values(table.rows, "C"), (std::vector<QString>{"<none>", "<none>", "<none>", "", "<none>"}));
    EXPECT_EQ(table.groups, (std::vector<std::vector<int>>{{0, 3, 4}, {1, 2}}));
    EXPECT_EQ(table.fieldNames, (std::vector<QString>{"A", "B", "C"}));
    const DataRow& row = table.rows.at(3);
    ASSERT_EQ(row.fieldCount(), 3u);
    EXPECT_EQ(row.fieldName(0), "B");
    EXPECT_EQ(row.fieldValue(1), "7");
    EXPECT_EQ(row.fieldName(2), "C");
    EXPECT_EQ(table.rows.at(1).fieldCount(), 2u) << "__MasterIdx is no field";
    EXPECT_EQ(data.masterRows.at(0).fieldCount(), 0u);
    EXPECT_EQ(data.masterRows.at(0).value("A"), std::nullopt);
    EXPECT_THROW((void)data.masterRows.at(0).fieldName(0), std::out_of_range);
}

TEST(DataRows, ValuesAreDecodedAndKeepTheirWhitespace)
{
    const char* const xml = "<DocumentData><Master><Row Text=\"a&amp;b &lt;c&gt; &quot;d&quot; &apos;e&apos;\" "
                            "Refs=\"&#x4E2D;&#25991;&#x1F600;\" Spaces=\"&#9;x&#13;&#10;y&#10;\" Raw=\"\tp\r\nq \"/>"
                            "</Master></DocumentData>";
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        ReportDataSet data;
        const ParseResult result = wide ? parseDataDocument(QStringView(QString::fromUtf8(xml)), data)
                                        : parseDataDocument(xml, data);
        ASSERT_TRUE(result.ok) << result.message.toStdString();
        const DataRow& row = data.masterRows.at(0);
        EXPECT_EQ(row.value("Text"), QStringLiteral("a&b <c> \"d\" 'e'"));
        EXPECT_EQ(row.value("Refs"), QString::fromUtf8("中文\xF0\x9F\x98\x80"));
        EXPECT_EQ(row.value("Spaces"), QStringLiteral("\tx\r\ny\n"));
        EXPECT_EQ(row.value("Raw"), QStringLiteral("\tp\r\nq "));
    }
}

TEST(DataRows, RefusalsCountPositionsInTheTextAsGiven)
{
    // Parsing in place writes decoded references and terminators into the buffer; the position of a
    // refusal found after that still counts lines in the text as it came.
    const char* const xml = "<DocumentData>\n<Master>\n<Row\nA=\"x&#10;&#10;y\"\n/>\n</Master>\n<Detail>\n"
                            "<Row __MasterIdx=\"0\" A=\"&#13;&#10;\"/>\n<Row\n__MasterIdx=\"3\"/>\n</Detail>\n</DocumentData>";
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide);
        ReportDataSet data;
        const ParseResult result = wide ? parseDataDocument(QStringView(QString::fromUtf8(xml)), data)
                                        : parseDataDocument(xml, data);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.line, 9);
        EXPECT_EQ(result.column, 1);
        EXPECT_TRUE(result.message.contains("__MasterIdx=\"3\" names no master row")) << result.message.toStdString();
        EXPECT_TRUE(data.empty());
    }
    ReportDataSet data;
    const ParseResult result = parseDataDocument(QStringView(u"<DocumentData>\n<Master>\n<Row 名=\"中\" a=\"1/>"), data);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3);
    EXPECT_EQ(result.column, 15) << result.message.toStdString();
}

TEST(DataSets, CopiesAndMovesStayValidWithoutTheOriginal)
{
    std::optional<ReportDataSet> original(std::in_place);
    ASSERT_TRUE(parseDataDocument(QStringView(QString::fromUtf8(ExampleDocument)), *original).ok);
    ReportDataSet copy = *original;
    ReportDataSet moved = std::move(*original);
    original.reset();
    EXPECT_EQ(values(copy.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
    EXPECT_EQ(values(moved.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));

    // A replaced data set frees its document while a copy keeps its own.
    ReportDataSet assigned;
    assigned = copy;
    copy = ReportDataSet{};
    ASSERT_TRUE(parseDataDocument("<DocumentData><Master><Row DeptName=\"other\"/></Master></DocumentData>", moved).ok);
    EXPECT_EQ(values(assigned.masterRows, "DeptName"), (std::vector<QString>{"Sales & \"Export\"", "R<D"}));
    EXPECT_EQ(values(assigned.detail("Detail")->rows, "DeptNo"), (std::vector<QString>{"10", "10", "20"}));
    EXPECT_EQ(values(moved.masterRows, "DeptName"), (std::vector<QString>{"other"}));
    EXPECT_TRUE(moved.details.empty());
}

TEST(DataSets, EditedRowsKeepTheirValuesApartFromTheDocument)
{
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(ExampleDocument, data).ok);
    DataRow& row = data.masterRows.at(0);
    row.setValue("DEPTNAME", "Changed");
    EXPECT_EQ(row.value("deptname"), QStringLiteral("Changed"));
    EXPECT_EQ(row.value("DeptNo"), QStringLiteral("10")) << "the other fields are kept";
    EXPECT_EQ(row.fieldName(1), "DeptName") << "an edit keeps the field's own spelling";
    row.setValue("Extra", "new");
    ASSERT_EQ(row.fieldCount(), 3u);
    EXPECT_EQ(row.fieldName(2), "Extra");
    EXPECT_EQ(row.value("EXTRA"), QStringLiteral("new"));
    EXPECT_EQ(data.masterRows.at(1).value("DeptName"), QStringLiteral("R<D")) << "other rows read the document";
    EXPECT_EQ(data.masterFieldNames, (std::vector<QString>{"DeptNo", "DeptName"}));

    // Copies of a data set edit apart.
    ReportDataSet copy = data;
    copy.masterRows.at(0).setValue("DeptName", "In the copy");
    copy.masterRows.at(1).setValue("DeptNo", "21");
    EXPECT_EQ(data.masterRows.at(0).value("DeptName"), QStringLiteral("Changed"));
    EXPECT_EQ(data.masterRows.at(1).value("DeptNo"), QStringLiteral("20"));
    EXPECT_EQ(copy.masterRows.at(0).value("DeptName"), QStringLiteral("In the copy"));
    EXPECT_EQ(copy.masterRows.at(1).value("DeptNo"), QStringLiteral("21"));

    DataRow empty;
    empty.setValue("A", "1");
    EXPECT_EQ(empty.value("a"), QStringLiteral("1"));
}

TEST(DataRows, NumbersReadAsTheTextWouldBe)
{
    // Plain decimals take a short way; every text must give what QString::toDouble gives.
    const std::vector<QString> texts = {"5000", "-12.50", "007", "0.1", "-0", "1.", ".5", " 3 ", "1e3", "abc", "",
                                        "1,000", "+4", "-", "1.2.3", "0x10", "inf", "nan", QString(QChar(0x3000)) + "5",
                                        "123456789012345678901234567890.123456789",
                                        "1" + QString(400, u'0'), "0." + QString(400, u'0') + "1"};
    QString xml = "<DocumentData><Master>";
    for (const QString& text : texts)
        xml += "<Row N=\"" + text.toHtmlEscaped() + "\"/>";
    xml += "<Row/></Master></DocumentData>";
    ReportDataSet data;
    ASSERT_TRUE(parseDataDocument(QStringView(xml), data).ok);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].toStdString());
        bool ok = false;
        const double expected = texts[i].trimmed().toDouble(&ok);
        const std::optional<double> number = data.masterRows.at(i).number("n");
        ASSERT_EQ(number.has_value(), ok);
        if (ok && std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(*number));
        } else if (ok) {
            EXPECT_EQ(*number, expected);
            EXPECT_EQ(std::signbit(*number), std::signbit(expected));
        }
    }
    EXPECT_EQ(data.masterRows.back().number("N"), std::nullopt) << "a row without the field";
    DataRow& edited = data.masterRows.at(0);
    edited.setValue("N", " 42.5 ");
    EXPECT_EQ(edited.number("N"), 42.5);
}
