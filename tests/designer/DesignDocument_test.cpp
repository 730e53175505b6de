// The designer's document: files keep every byte they can (a file it wrote saves byte for byte, a foreign
// one keeps every element, attribute and comment), every edit undoes to the exact text, and edits the
// engine would refuse are never made.

#include "DesignDocument.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <pugixml.hpp>

namespace {

using vl::designer::AttributeChange;
using vl::designer::DesignDocument;
using vl::designer::lengthText;
using vl::test::readBytes;
using vl::test::writeBytes;

// Every element with its attributes, every comment and every non-blank text, in document order:
// what a foreign file must keep, whatever its formatting.
std::vector<std::string> content(const std::string& xml)
{
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str(), pugi::parse_default | pugi::parse_comments));
    std::vector<std::string> items;
    struct Walker : pugi::xml_tree_walker {
        std::vector<std::string>* items;
        bool for_each(pugi::xml_node& node) override
        {
            std::string item = std::to_string(depth()) + " " + std::to_string(node.type()) + " " + node.name() + " " + node.value();
            for (pugi::xml_attribute attribute : node.attributes())
                item += std::string(" ") + attribute.name() + "=" + attribute.value();
            items->push_back(item);
            return true;
        }
    } walker;
    walker.items = &items;
    document.traverse(walker);
    return items;
}

const char* const Foreign = "<?xml version='1.0' encoding='UTF-8'?>\n"
                            "<!-- made by hand -->\n"
                            "<report version='1' generator=\"elsewhere\">\n"
                            "\t<sheet name='First' colour=\"blue\">  <!-- the only sheet -->\n"
                            "\t\t<page size=\"A4\"   margins=\"10\"/>\n"
                            "\t\t<title height=\"20\" note='keep me'><cell x=\"0\" width=\"50\" custom=\"1\">Hello &amp; [Date]</cell>\n"
                            "\t\t   <cell\n             x=\"50\" width=\"40\"\n             y=\"2\">Two</cell></title>\n"
                            "\t\t<detail detail=\"Detail\" height=\"6\"><cell width=\"30\">[Detail.Name]</cell></detail>\n"
                            "\t</sheet>\n"
                            "</report>\n";

const char* const Simple = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<report version=\"1\">\n"
                           "  <sheet name=\"One\">\n"
                           "    <page size=\"A4\" orientation=\"portrait\" margins=\"15,15,15,15\"/>\n"
                           "    <title height=\"20\">\n"
                           "      <cell x=\"0\" width=\"100\" bold=\"true\">Title</cell>\n"
                           "      <cell x=\"100\" y=\"2\" width=\"80\">[Date]</cell>\n"
                           "    </title>\n"
                           "    <detail detail=\"Detail\" height=\"6\">\n"
                           "      <cell x=\"0\" width=\"40\">[Detail.Name]</cell>\n"
                           "    </detail>\n"
                           "  </sheet>\n"
                           "  <sheet name=\"Two\">\n"
                           "    <summary height=\"10\"/>\n"
                           "  </sheet>\n"
                           "</report>\n";

class DesignDocumentTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    std::string path(const char* name) const { return QDir(folder.path()).filePath(QString::fromLatin1(name)).toStdString(); }

    pugi::xml_node item(DesignDocument& document, int band, int index)
    {
        return document.sheets().at(0).bands.at(size_t(band)).items.at(size_t(index)).node;
    }
};

TEST_F(DesignDocumentTest, EverySampleSavesByteForByteOnceWrittenAndLosesNothing)
{
    const QDir samples(QStringLiteral(VL_SOURCE_DIR "/samples"));
    const QStringList names = samples.entryList({QStringLiteral("*.vld")});
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        DesignDocument document;
        const vl::ParseResult opened = document.open(samples.filePath(name));
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        const std::string original = readBytes(samples.filePath(name).toStdString());
        QString error;
        ASSERT_TRUE(document.save(QString::fromStdString(path("once.vld")), error)) << error.toStdString();
        const std::string once = readBytes(path("once.vld"));
        EXPECT_EQ(content(original), content(once));

        DesignDocument again;
        ASSERT_TRUE(again.open(QString::fromStdString(path("once.vld"))).ok);
        EXPECT_EQ(again.text().toStdString(), once);
        ASSERT_TRUE(again.save(QString::fromStdString(path("twice.vld")), error));
        EXPECT_EQ(readBytes(path("twice.vld")), once);
        EXPECT_FALSE(again.isModified());
    }
}

TEST_F(DesignDocumentTest, AForeignFileKeepsEveryElementAttributeAndComment)
{
    writeBytes(path("foreign.vld"), Foreign);
    DesignDocument document;
    ASSERT_TRUE(document.open(QString::fromStdString(path("foreign.vld"))).ok);
    EXPECT_EQ(content(document.text().toStdString()), content(Foreign));
    // The formatting stays too, quotes and escapes aside.
    EXPECT_NE(document.text().indexOf("\t\t   <cell x=\"50\""), -1);
    EXPECT_NE(document.text().indexOf("<!-- the only sheet -->"), -1);

    // An edit elsewhere leaves the unknown attributes and comments alone.
    ASSERT_EQ(document.setBandHeight(document.sheets()[0].bands[0].node, 25), QString());
    const std::vector<std::string> edited = content(document.text().toStdString());
    EXPECT_NE(std::find(edited.begin(), edited.end(), "2 2 title  height=25 note=keep me"), edited.end());
    EXPECT_NE(document.text().indexOf("custom=\"1\""), -1);
    EXPECT_NE(document.text().indexOf("generator=\"elsewhere\""), -1);
}

TEST_F(DesignDocumentTest, ATemplateWithAnErrorIsRefusedWithItsPositionAndTheFileStaysAsItWas)
{
    const std::string broken = "<report version=\"1\">\n  <sheet name=\"S\">\n    <title height=\"abc\"/>\n  </sheet>\n</report>\n";
    writeBytes(path("broken.vld"), broken);
    DesignDocument document;
    ASSERT_TRUE(document.setText(Simple).ok);
    const QByteArray before = document.text();
    const vl::ParseResult result = document.open(QString::fromStdString(path("broken.vld")));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 3);
    EXPECT_EQ(result.column, 5);
    EXPECT_TRUE(result.message.contains(QStringLiteral("line 3, column 5"))) << result.message.toStdString();
    EXPECT_EQ(document.text(), before);
    EXPECT_EQ(readBytes(path("broken.vld")), broken);

    const char* doctype = "<!DOCTYPE report [<!ENTITY e \"x\">]><report version=\"1\"><sheet name=\"S\"/></report>";
    EXPECT_FALSE(document.setText(doctype).ok);
    EXPECT_EQ(document.text(), before);
}

// Each edit is made, changes the text, undoes to the exact text before and redoes to the exact text after.
TEST_F(DesignDocumentTest, EveryEditUndoesAndRedoesToTheExactText)
{
    struct Edit {
        const char* what;
        std::function<QString(DesignDocument&)> make;
        std::function<bool(const DesignDocument&)> made;
    };
    const auto cellOf = [](const DesignDocument& d, int band, int i) { return d.sheets()[0].bands[size_t(band)].items[size_t(i)]; };
    const std::vector<Edit> edits = {
        {"attributes",
         [&](DesignDocument& d) {
             return d.changeAttributes({{cellOf(d, 0, 0).node, "align", "center"}, {cellOf(d, 0, 0).node, "bold", ""}}, "Style");
         },
         [&](const DesignDocument& d) { return !cellOf(d, 0, 0).cell.style.bold && cellOf(d, 0, 0).cell.style.alignment & Qt::AlignHCenter; }},
        {"text",
         [&](DesignDocument& d) { return d.changeAttributes({{cellOf(d, 0, 0).node, vl::designer::TextAttribute, "A < B [Page]"}}, "Text"); },
         [&](const DesignDocument& d) { return cellOf(d, 0, 0).cell.segments.size() == 2; }},
        {"move", [&](DesignDocument& d) { return d.moveItems({cellOf(d, 0, 1).node}, 2.5, -1); },
         [&](const DesignDocument& d) { return cellOf(d, 0, 1).rect == QRectF(102.5, 1, 80, 19); }},
        {"geometry", [&](DesignDocument& d) { return d.setGeometry(cellOf(d, 0, 0).node, QRectF(1, 2, 3.456, 4)); },
         [&](const DesignDocument& d) { return cellOf(d, 0, 0).rect == QRectF(1, 2, 3.46, 4); }},
        {"band height", [&](DesignDocument& d) { return d.setBandHeight(d.sheets()[0].bands[1].node, 7.25); },
         [&](const DesignDocument& d) { return d.sheets()[0].bands[1].height == 7.25; }},
        {"remove", [&](DesignDocument& d) { return d.removeElements({cellOf(d, 0, 0).node, cellOf(d, 1, 0).node}); },
         [&](const DesignDocument& d) { return d.sheets()[0].bands[0].items.size() == 1 && d.sheets()[0].bands[1].items.empty(); }},
        {"insert",
         [&](DesignDocument& d) {
             QString reason;
             const auto made = d.insertElements(d.sheets()[0].bands[1].node, "<cell x=\"50\" width=\"20\">[Detail.Age]</cell><barcode type=\"qrcode\" width=\"9\">x</barcode>", reason);
             return made.size() == 2 ? reason : QStringLiteral("made %1: %2").arg(made.size()).arg(reason);
         },
         [&](const DesignDocument& d) { return d.sheets()[0].bands[1].items.size() == 3 && d.sheets()[0].bands[1].items[2].cell.barcode; }},
        {"add sheet", [&](DesignDocument& d) { return d.addSheet("Three"); },
         [&](const DesignDocument& d) { return d.sheets().size() == 3 && d.sheets()[2].name == "Three" && !d.sheets()[2].bands.empty(); }},
        {"rename sheet", [&](DesignDocument& d) { return d.renameSheet(1, "Second"); },
         [&](const DesignDocument& d) { return d.sheets()[1].name == "Second"; }},
        {"remove sheet", [&](DesignDocument& d) { return d.removeSheet(0); },
         [&](const DesignDocument& d) { return d.sheets().size() == 1 && d.sheets()[0].name == "Two"; }},
        {"move sheet", [&](DesignDocument& d) { return d.moveSheet(0, 1); },
         [&](const DesignDocument& d) { return d.sheets()[0].name == "Two" && d.sheets()[1].name == "One"; }},
        {"page setup (named paper)",
         [&](DesignDocument& d) {
             vl::PageSetup page;
             page.paper = QSizeF(297, 210);
             page.landscape = true;
             page.marginLeft = 10;
             return d.setPageSetup(0, page);
         },
         [&](const DesignDocument& d) { return d.sheets()[0].page.landscape && d.sheets()[0].page.marginLeft == 10; }},
        {"page setup (new page element, own size)",
         [&](DesignDocument& d) {
             vl::PageSetup page;
             page.paper = QSizeF(100, 150);
             return d.setPageSetup(1, page);
         },
         [&](const DesignDocument& d) { return d.sheets()[1].page.paper == QSizeF(100, 150); }},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.what);
        DesignDocument document;
        ASSERT_TRUE(document.setText(Simple).ok);
        int notices = 0;
        QObject::connect(&document, &DesignDocument::changed, [&] { ++notices; });
        const QByteArray before = document.text();
        ASSERT_EQ(edit.make(document), QString());
        EXPECT_TRUE(edit.made(document));
        EXPECT_GT(notices, 0);
        EXPECT_TRUE(document.isModified());
        const QByteArray after = document.text();
        ASSERT_NE(after, before);
        ASSERT_EQ(document.undoStack().count(), 1);
        document.undoStack().undo();
        EXPECT_EQ(document.text().toStdString(), before.toStdString());
        EXPECT_FALSE(document.isModified());
        document.undoStack().redo();
        EXPECT_EQ(document.text().toStdString(), after.toStdString());
        EXPECT_TRUE(edit.made(document));
    }
}

TEST_F(DesignDocumentTest, InsertedAndRemovedElementsKeepTheIndentation)
{
    DesignDocument document;
    ASSERT_TRUE(document.setText(Simple).ok);
    QString reason;
    document.insertElements(document.sheets()[0].bands[1].node, "<cell width=\"5\">x</cell>", reason);
    EXPECT_NE(document.text().indexOf("      <cell x=\"0\" width=\"40\">[Detail.Name]</cell>\n      <cell width=\"5\">x</cell>\n    </detail>"), -1)
        << document.text().toStdString();
    document.removeElements({item(document, 0, 1)});
    EXPECT_NE(document.text().indexOf("<cell x=\"0\" width=\"100\" bold=\"true\">Title</cell>\n    </title>"), -1) << document.text().toStdString();
}

TEST_F(DesignDocumentTest, EditsTheEngineRefusesAreNotMade)
{
    DesignDocument document;
    ASSERT_TRUE(document.setText(Simple).ok);
    const QByteArray before = document.text();
    const auto cell = item(document, 0, 0);
    EXPECT_NE(document.changeAttributes({{cell, "width", "wide"}}, "Width"), QString());
    EXPECT_NE(document.changeAttributes({{cell, vl::designer::TextAttribute, "[1 +]"}}, "Text"), QString());
    EXPECT_NE(document.renameSheet(1, "one"), QString()); // names are unique without regard to case
    EXPECT_NE(document.removeSheet(0) + document.removeSheet(0), QString()); // the last sheet stays
    document.undoStack().undo(); // the sheet's elements are new ones now
    EXPECT_TRUE(document.changeAttributes({{item(document, 0, 0), "color", "no such colour"}}, "Colour").contains(QStringLiteral("line 6")));
    EXPECT_EQ(document.text(), before);
    EXPECT_EQ(document.undoStack().count(), 1); // only the one sheet removal was made, and undone
    EXPECT_EQ(document.sheets().size(), 2u);
}

TEST_F(DesignDocumentTest, ConsecutiveMovesOfTheSameSelectionMerge)
{
    DesignDocument document;
    ASSERT_TRUE(document.setText(Simple).ok);
    const QByteArray before = document.text();
    const std::vector<pugi::xml_node> both{item(document, 0, 0), item(document, 0, 1)};
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(document.moveItems(both, 0.5, 0), QString());
    EXPECT_EQ(document.undoStack().count(), 1);
    EXPECT_EQ(document.sheets()[0].bands[0].items[0].rect.x(), 2.0);
    document.moveItems({item(document, 0, 0)}, 0, 1);
    EXPECT_EQ(document.undoStack().count(), 2);
    document.undoStack().undo();
    document.undoStack().undo();
    EXPECT_EQ(document.text(), before);
}

TEST_F(DesignDocumentTest, BandsComeInPrintOrderWithTheirItems)
{
    DesignDocument document;
    ASSERT_TRUE(document.open(QStringLiteral(VL_SOURCE_DIR "/samples/grouped.vld")).ok);
    QStringList labels;
    for (const auto& band : document.sheets()[0].bands)
        labels << band.label;
    const int title = labels.indexOf("Title"), header = labels.indexOf("Page header"), master = labels.indexOf("Master");
    const int detailHeader = labels.indexOf("Detail header (Detail)"), detail = labels.indexOf("Detail (Detail)");
    const int groupHeader = labels.indexOf("Group header (Detail by [Detail.Sex])");
    const int groupFooter = labels.indexOf("Group footer (Detail by [Detail.Sex])");
    ASSERT_GE(title, 0) << labels.join(", ").toStdString();
    EXPECT_LT(title, header);
    EXPECT_LT(header, master);
    EXPECT_LT(master, detailHeader);
    EXPECT_LT(detailHeader, groupHeader);
    EXPECT_LT(groupHeader, detail);
    EXPECT_LT(detail, groupFooter);
    for (const auto& band : document.sheets()[0].bands)
        for (const auto& item : band.items)
            EXPECT_EQ(item.cell.x, item.node.attribute("x").as_double()) << band.label.toStdString();
}

TEST(LengthText, TwoDecimalsAtMostAndNoTrailingZeros)
{
    const std::pair<double, const char*> cases[] = {{10, "10"}, {12.5, "12.5"}, {3.456, "3.46"}, {0.004, "0"}, {-0.001, "0"}, {-2.25, "-2.25"}, {100.10, "100.1"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(lengthText(value), QString::fromLatin1(text)) << value;
}

} // namespace
