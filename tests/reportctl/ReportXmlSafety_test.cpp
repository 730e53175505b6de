// Hostile documents handed to the data document reader and the template parser: document type
// declarations, entities beyond the five predefined ones, external entities, expansion bombs and deep
// nesting are refused with a position, and the refusal reaches the caller of LoadXML as its error.
#include "ReportData.h"
#include "ReportTemplate.h"
#include "ReportViewIntf.h"
#include "ReportXml_p.h"

#include "BStr.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "ErrorInfo.h"
#include "WidgetApplication.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <fstream>
#include <string>

using namespace vl;

namespace
{

// The classic expansion bomb: ten levels of ten references, 10^9 copies of "lol" when expanded.
std::string entityBomb(const std::string& root)
{
    std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE " + root + " [\n <!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level < 10; ++level) {
        text += " <!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i)
            text += "&lol" + std::to_string(level - 1) + ";";
        text += "\">\n";
    }
    return text + "]>\n<" + root + ">&lol9;</" + root + ">";
}

std::string nested(const std::string& prefix, int depth, const std::string& suffix)
{
    std::string text = prefix;
    for (int i = 0; i < depth; ++i)
        text += "<Row>";
    for (int i = 0; i < depth; ++i)
        text += "</Row>";
    return text + suffix;
}

QString dataRefusal(const std::string& xml)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(xml, data);
    EXPECT_FALSE(result.ok) << xml.substr(0, 200);
    EXPECT_TRUE(data.empty()) << "a refused document leaves the data unchanged";
    return result.message;
}

QString templateRefusal(const std::string& xml)
{
    ReportTemplate report;
    const ParseResult result = parseTemplate(xml, report);
    EXPECT_FALSE(result.ok) << xml.substr(0, 200);
    return result.message;
}

TEST(XmlSafety, DocumentTypeDeclarationsAreRefusedBeforeAnyExpansion)
{
    EXPECT_EQ(dataRefusal(entityBomb("DocumentData")),
        "Data document: document type declarations are not allowed at line 2, column 1");
    EXPECT_EQ(templateRefusal(entityBomb("report")),
        "Template: document type declarations are not allowed at line 2, column 1");
    EXPECT_EQ(dataRefusal("<!DOCTYPE DocumentData><DocumentData/>"),
        "Data document: document type declarations are not allowed at line 1, column 1");
}

TEST(XmlSafety, ExternalEntitiesAreNeverOpened)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string secret = folder.filePath("secret.txt").toStdString();
    std::ofstream(secret) << "SECRET";
    const std::string external = "<!DOCTYPE DocumentData [<!ENTITY leak SYSTEM \"file://" + secret
        + "\">]><DocumentData><Master><Row a=\"&leak;\"/></Master></DocumentData>";
    const QString message = dataRefusal(external);
    EXPECT_TRUE(message.contains("document type declarations are not allowed")) << message.toStdString();
    // Without a declaration the reference is still no entity the reader knows; its text is not fetched.
    const QString undeclared = dataRefusal("<DocumentData><Master><Row a=\"&leak;\"/></Master></DocumentData>");
    EXPECT_EQ(undeclared.toStdString(),
        "Data document: the entity reference \"&leak;\" is not allowed (only &amp;, &lt;, &gt;, "
        "&quot;, &apos; and character references are) at line 1, column 31");
    EXPECT_FALSE(undeclared.contains("SECRET"));
}

TEST(XmlSafety, OnlyThePredefinedEntitiesAndCharacterReferencesPass)
{
    ReportDataSet data;
    const ParseResult result = parseDataDocument(
        "<?xml version=\"1.0\"?><!-- a comment may hold & and <!DOCTYPE x> --><?pi & ?><DocumentData><Master>"
        "<Row a=\"&amp;&lt;&gt;&quot;&apos;&#65;&#x42;!?\"/></Master></DocumentData>",
        data);
    ASSERT_TRUE(result.ok) << result.message.toStdString();
    ASSERT_EQ(data.masterRows.size(), 1u);
    EXPECT_EQ(*data.masterRows[0].value("a"), "&<>\"'AB!?");

    struct Case {
        const char* document;
        const char* message;
    };
    const Case cases[] = {
        { "<DocumentData>\n<Master><Row a=\"&nbsp;\"/></Master></DocumentData>",
            "the entity reference \"&nbsp;\" is not allowed (only &amp;, &lt;, &gt;, &quot;, &apos; and character "
            "references are) at line 2, column 17" },
        { "<DocumentData><Master><Row a=\"x & y\"/></Master></DocumentData>",
            "\"&\" begins no entity or character reference at line 1, column 33" },
        { "<DocumentData><Master><Row a=\"&#;\"/></Master></DocumentData>",
            "the entity reference \"&#;\" is not allowed (only &amp;, &lt;, &gt;, &quot;, &apos; and character "
            "references are) at line 1, column 31" },
        { "<DocumentData><Master><Row a=\"&#x1G;\"/></Master></DocumentData>",
            "the entity reference \"&#x1G;\" is not allowed (only &amp;, &lt;, &gt;, &quot;, &apos; and character "
            "references are) at line 1, column 31" },
        { "<DocumentData>&AMP;</DocumentData>",
            "the entity reference \"&AMP;\" is not allowed (only &amp;, &lt;, &gt;, &quot;, &apos; and character "
            "references are) at line 1, column 15" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(dataRefusal(c.document), QString("Data document: ") + c.message) << c.document;
    EXPECT_TRUE(templateRefusal("<report version=\"1\"><sheet name=\"&ent;\"/></report>")
                    .startsWith("Template: the entity reference \"&ent;\" is not allowed"));
    // Inside CDATA an ampersand is text.
    EXPECT_FALSE(dataRefusal("<DocumentData><![CDATA[ & &x; ]]><Master><Row a=\"&x;\"/></Master></DocumentData>")
                     .contains("column 15"));
}

TEST(XmlSafety, TheTemplateAndTheDataDocumentAllowTheSameReferences)
{
    struct Case {
        const char* reference;
        bool allowed;
    };
    const Case cases[] = {
        {"&amp;", true},   {"&apos;", true},  {"&#9;", true},    {"&#x4e2D;", true}, {"&#X41;", false},
        {"&am;", false},   {"&ampx;", false}, {"&Amp;", false},  {"&#;", false},     {"&#x;", false},
        {"&#x1G;", false}, {"&#1a;", false},  {"&#-1;", false},  {"&é;", false},
    };
    for (const Case& c : cases) {
        const std::string reference = c.reference;
        ReportDataSet data;
        const ParseResult dataResult
            = parseDataDocument("<DocumentData><Master><Row a=\"" + reference + "\"/></Master></DocumentData>", data);
        ReportTemplate report;
        const ParseResult templateResult
            = parseTemplate("<report version=\"1\"><sheet name=\"S" + reference + "\"/></report>", report);
        EXPECT_EQ(dataResult.ok, c.allowed) << reference << ": " << dataResult.message.toStdString();
        EXPECT_EQ(templateResult.ok, c.allowed) << reference << ": " << templateResult.message.toStdString();
        if (!c.allowed) {
            EXPECT_TRUE(dataResult.message.contains("is not allowed")) << dataResult.message.toStdString();
            EXPECT_TRUE(templateResult.message.contains("is not allowed")) << templateResult.message.toStdString();
        }
    }
}

TEST(XmlSafety, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    for (const int depth : { 10000, 200000 }) {
        const QString data = dataRefusal(nested("<DocumentData><Master>", depth, "</Master></DocumentData>"));
        EXPECT_TRUE(data.startsWith("Data document: elements are nested deeper than 1000 levels at line 1"))
            << data.toStdString();
        const QString report
            = templateRefusal(nested("<report version=\"1\"><sheet name=\"S\">", depth, "</sheet></report>"));
        EXPECT_TRUE(report.startsWith("Template: elements are nested deeper than 1000 levels at line 1"))
            << report.toStdString();
    }
    // Just within the limit the depth is no reason to refuse.
    ReportDataSet data;
    const ParseResult shallow
        = parseDataDocument(nested("<DocumentData><Master>", MaxElementDepth - 3, "</Master></DocumentData>"), data);
    EXPECT_FALSE(shallow.message.contains("nested deeper")) << shallow.message.toStdString();
}

// Through the real plug-in: the refusal is LoadXML's failure and its error description, which the
// window shows as the load's message.
TEST(XmlSafety, TheRefusalIsTheLoadsErrorMessage)
{
    vl::test::ensureWidgetApplication("reportctl_tests");
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
    setClassRegistryFolder(VL_RUN_DIR);
    {
        ComPtr<IReportView> view;
        ASSERT_EQ(CoCreateInstance(CLSID_ReportView, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                      IID_IReportView, view.voidOut()),
            S_OK)
            << lastClassLoadError();
        ComPtr<IReportData> data;
        ASSERT_EQ(view->get_ReportData(&data), S_OK);
        const std::string bomb = entityBomb("DocumentData");
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(data->LoadXML(BStr(QString::fromStdString(bomb).toStdU16String()).get(), 0), E_FAIL);
        ComPtr<IErrorInfo> error;
        ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
        BStr description;
        error->GetDescription(&description);
        EXPECT_EQ(QString::fromStdU16String(std::u16string(bstrView(description.get()))),
            "Data document: document type declarations are not allowed at line 2, column 1");
        int32_t details = -1;
        EXPECT_EQ(data->get_DetailCount(&details), S_OK);
        EXPECT_EQ(details, 0) << "nothing of the refused document was taken";
    }
    EXPECT_EQ(liveObjectCount(), 0);
    CoUninitialize();
}

} // namespace
