// The designer's window, panel and dialogs driven through their widgets, offscreen; every question is
// answered through the window's prompts, so nothing blocks.

#include "DesignerWindow.h"
#include "FieldList.h"
#include "PageSetupDialog.h"
#include "PreviewDialog.h"
#include "PropertyPanel.h"
#include "TestFiles.h"
#include "WidgetApplication.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace vl::designer;

const char* const Template = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<report version=\"1\">\n"
                             "  <sheet name=\"One\">\n"
                             "    <title height=\"20\">\n"
                             "      <cell x=\"0\" width=\"100\">Title</cell>\n"
                             "      <cell x=\"100\" width=\"80\">[Date]</cell>\n"
                             "    </title>\n"
                             "    <group source=\"Detail\" by=\"[Detail.Sex]\">\n"
                             "      <groupHeader height=\"6\"><cell width=\"50\">[Detail.Sex]</cell></groupHeader>\n"
                             "    </group>\n"
                             "    <detail detail=\"Detail\" height=\"6\"><cell width=\"40\">[Detail.Name]</cell></detail>\n"
                             "  </sheet>\n"
                             "</report>\n";

const char* const Data = "<?xml version=\"1.0\"?>\n<DocumentData><Master><Row Dept=\"1\" Name=\"Sales\"/></Master>"
                         "<Detail><Row __MasterIdx=\"0\" Name=\"Ann\" Sex=\"F\"/><Row __MasterIdx=\"0\" Name=\"Bob\" Sex=\"M\"/></Detail></DocumentData>\n";

class DesignerWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("designer_tests"); }

    void SetUp() override
    {
        window = std::make_unique<DesignerWindow>();
        DesignerPrompts& prompts = window->prompts();
        prompts.askToSave = [this](const QString& name) {
            asked << name;
            return saveAnswer;
        };
        prompts.tell = [this](const QString& message) { told << message; };
        prompts.chooseFile = [this](const QString&, const QString&, bool) { return chosenFile; };
        prompts.askText = [this](const QString&, const QString&) { return typedText; };
        prompts.runDialog = [this](QDialog& dialog) { return dialogRunner ? dialogRunner(dialog) : false; };
        ASSERT_TRUE(window->document().setText(Template).ok);
    }

    // Types into a line edit as a user does and presses Enter.
    static void typeAndEnter(QLineEdit* edit, const QString& text)
    {
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &typed);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
    }

    pugi::xml_node item(int band, int index) { return window->document().sheets()[0].bands[size_t(band)].items[size_t(index)].node; }

    std::unique_ptr<DesignerWindow> window;
    QStringList asked, told;
    SaveAnswer saveAnswer = SaveAnswer::Cancel;
    QString chosenFile, typedText;
    std::function<bool(QDialog&)> dialogRunner;
    QTemporaryDir folder;
};

TEST_F(DesignerWindowTest, APanelFieldCommitsOnEnterAndABadExpressionIsShownWithoutAChange)
{
    window->canvas().select({item(0, 0)});
    window->propertyPanel().rebuild();
    typeAndEnter(window->propertyPanel().findChild<QLineEdit*>("x"), "12.345");
    EXPECT_STREQ(item(0, 0).attribute("x").value(), "12.35");
    EXPECT_EQ(window->document().undoStack().count(), 1);

    window->canvas().select({item(0, 0)});
    window->propertyPanel().rebuild();
    typeAndEnter(window->propertyPanel().findChild<QLineEdit*>(TextAttribute), "Sum [sum(Detail.Salary]");
    const QLabel* error = window->propertyPanel().findChild<QLabel*>(QStringLiteral("%1Error").arg(TextAttribute));
    ASSERT_NE(error, nullptr);
    EXPECT_FALSE(error->isHidden());
    EXPECT_FALSE(error->text().isEmpty());
    EXPECT_STREQ(item(0, 0).child_value(), "Title");
    EXPECT_EQ(window->document().undoStack().count(), 1);

    // A value the parser takes but the engine refuses is shown too, and nothing is written.
    window->propertyPanel().rebuild();
    typeAndEnter(window->propertyPanel().findChild<QLineEdit*>("color"), "not a colour");
    EXPECT_FALSE(window->propertyPanel().findChild<QLabel*>("colorError")->isHidden());
    EXPECT_FALSE(item(0, 0).attribute("color"));
}

TEST_F(DesignerWindowTest, SeveralItemsShareTheirGeometryFieldsAndABandShowsItsGroup)
{
    window->canvas().select({item(0, 0), item(0, 1)});
    window->propertyPanel().rebuild();
    EXPECT_EQ(window->propertyPanel().findChild<QLineEdit*>(TextAttribute), nullptr);
    typeAndEnter(window->propertyPanel().findChild<QLineEdit*>("y"), "3");
    EXPECT_STREQ(item(0, 0).attribute("y").value(), "3");
    EXPECT_STREQ(item(0, 1).attribute("y").value(), "3");

    window->canvas().select({});
    int header = -1;
    for (size_t i = 0; i < window->document().sheets()[0].bands.size(); ++i)
        if (window->document().sheets()[0].bands[i].kind == vl::BandKind::GroupHeader)
            header = int(i);
    ASSERT_GE(header, 0);
    window->propertyPanel().setBand(header);
    EXPECT_EQ(window->propertyPanel().findChild<QLabel*>("kind")->text(), "groupHeader");
    auto* keep = window->propertyPanel().findChild<QComboBox*>("keepTogether");
    ASSERT_NE(keep, nullptr);
    keep->setCurrentIndex(keep->findText("true"));
    emit keep->activated(keep->currentIndex());
    EXPECT_NE(window->document().text().indexOf("<group source=\"Detail\" by=\"[Detail.Sex]\" keepTogether=\"true\">"), -1);
}

TEST_F(DesignerWindowTest, SheetsAreAddedRenamedMovedAndDeletedThroughTheMenusSlots)
{
    typedText = "Extra";
    window->addSheet();
    ASSERT_EQ(window->sheetTabs().count(), 2);
    EXPECT_EQ(window->sheetTabs().tabText(1), "Extra");
    EXPECT_EQ(window->canvas().sheet(), 1);
    window->moveSheetLeft();
    EXPECT_EQ(window->sheetTabs().tabText(0), "Extra");
    EXPECT_EQ(window->canvas().sheet(), 0);
    typedText = "First";
    window->renameSheet();
    EXPECT_EQ(window->sheetTabs().tabText(0), "First");
    typedText = "one"; // taken, without regard to case
    window->moveSheetRight();
    window->renameSheet();
    EXPECT_EQ(told.size(), 1);
    window->deleteSheet(); // the current one: "First", moved right
    ASSERT_EQ(window->sheetTabs().count(), 1);
    EXPECT_EQ(window->sheetTabs().tabText(0), "One");
    window->deleteSheet(); // the last one stays
    EXPECT_EQ(window->sheetTabs().count(), 1);
    EXPECT_EQ(told.size(), 2);
}

TEST_F(DesignerWindowTest, PageSetupWritesThePaperAndMargins)
{
    dialogRunner = [](QDialog& dialog) {
        auto* paper = dialog.findChild<QComboBox*>("paper");
        paper->setCurrentIndex(paper->findText("A5"));
        dialog.findChild<QComboBox*>("orientation")->setCurrentIndex(1);
        dialog.findChild<QDoubleSpinBox*>("left")->setValue(20);
        return true;
    };
    window->pageSetup();
    const vl::PageSetup page = window->document().sheets()[0].page;
    EXPECT_TRUE(page.landscape);
    EXPECT_NEAR(page.paper.width(), 210, 0.01);
    EXPECT_NEAR(page.paper.height(), 148, 0.01);
    EXPECT_EQ(page.marginLeft, 20);
    EXPECT_NE(window->document().text().indexOf("<page size=\"A5\" orientation=\"landscape\" margins=\"20,15,15,15\"/>"), -1)
        << window->document().text().toStdString();
}

TEST_F(DesignerWindowTest, TheTitleMarksChangesAndClosingAsksThroughThePrompt)
{
    const QString path = QDir(folder.path()).filePath("report.vld");
    chosenFile = path;
    ASSERT_TRUE(window->saveAs());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("report.vld[*] \u2013 vldesigner"));
    EXPECT_FALSE(window->isWindowModified());
    QCloseEvent unchanged;
    QApplication::sendEvent(window.get(), &unchanged);
    EXPECT_TRUE(unchanged.isAccepted());
    EXPECT_TRUE(asked.isEmpty());

    window->document().setBandHeight(window->document().sheets()[0].bands[0].node, 30);
    EXPECT_TRUE(window->isWindowModified());
    const std::string saved = vl::test::readBytes(path.toStdString());
    for (const auto& [answer, accepted, written] : {std::tuple{SaveAnswer::Cancel, false, false}, std::tuple{SaveAnswer::Discard, true, false},
                                                    std::tuple{SaveAnswer::Save, true, true}}) {
        saveAnswer = answer;
        QCloseEvent event;
        QApplication::sendEvent(window.get(), &event);
        EXPECT_EQ(event.isAccepted(), accepted);
        EXPECT_EQ(vl::test::readBytes(path.toStdString()) != saved, written);
    }
    EXPECT_EQ(asked, QStringList({"report.vld", "report.vld", "report.vld"}));
    EXPECT_FALSE(window->isWindowModified());
}

TEST_F(DesignerWindowTest, ATemplateWithAnErrorIsToldWithItsPositionAndNothingIsWritten)
{
    const std::string broken = "<report version=\"1\">\n  <sheet>\n  </sheet>\n</report>\n";
    const QString path = QDir(folder.path()).filePath("broken.vld");
    vl::test::writeBytes(path.toStdString(), broken);
    const QByteArray before = window->document().text();
    EXPECT_FALSE(window->openTemplate(path));
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("line 2, column 3")) << told[0].toStdString();
    EXPECT_EQ(window->document().text(), before);
    EXPECT_EQ(vl::test::readBytes(path.toStdString()), broken);
}

TEST_F(DesignerWindowTest, DataFillsTheFieldListAndThePreviewLaysTheSheetOut)
{
    const QString path = QDir(folder.path()).filePath("data.xml");
    vl::test::writeBytes(path.toStdString(), Data);
    ASSERT_TRUE(window->openData(path)) << told.join("\n").toStdString();
    QStringList fields;
    for (int i = 0; i < window->fieldList().count(); ++i)
        fields << window->fieldList().item(i)->text();
    EXPECT_EQ(fields, QStringList({"Master.Dept", "Master.Name", "Detail.Name", "Detail.Sex"}));
    std::unique_ptr<QMimeData> mime(window->fieldList().model()->mimeData({window->fieldList().model()->index(2, 0)}));
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->data(FieldMimeType), QByteArray("Detail.Name"));

    QString shown;
    dialogRunner = [&](QDialog& dialog) {
        auto* preview = dynamic_cast<PreviewDialog*>(&dialog);
        if (!preview)
            return false;
        for (const auto& item : preview->currentPage().items)
            shown += item.text + u'|';
        return true;
    };
    window->preview();
    EXPECT_TRUE(told.isEmpty());
    EXPECT_TRUE(shown.contains("Ann|")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("M|")) << shown.toStdString();
}

TEST_F(DesignerWindowTest, APreviewWithoutDataSaysSo)
{
    bool previewed = false;
    dialogRunner = [&](QDialog&) { return previewed = true; };
    window->preview();
    EXPECT_TRUE(previewed);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("No data"));
}

} // namespace
