#include "Application.h"
#include "ADODB.h"
#include "Form1.h"
#include "Platform.h"
#include "ProgramStart.h"
#include "ClassRegistry.h"
#include "Startup.h"
#include "VellandorFree_TLB.h"

#include <QApplication>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Starts the program as main does, in a chosen working directory and with a chosen folder for
// the viewer plug-in's registration; every message box is recorded instead of shown.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vl::test::recordAsProgram(boxes, &captions);
    }
    void TearDown() override
    {
        m_app.reset();
        vl::test::resetProgramSeams();
    }

    void start(const fs::path& workingDir, const std::string& registryFolder = VL_RUN_DIR)
    {
        fs::current_path(workingDir);
        vl::setClassRegistryFolder(registryFolder);
        m_app = vl::test::startProgram();
    }

    fs::path runDir() const { return VL_RUN_DIR; }
    fs::path emptyDir() const { return m_emptyFolder.path(); }

    std::vector<std::string> boxes, captions;

private:
    vl::test::TestFolder m_emptyFolder{"vldemo-app"};
    std::unique_ptr<TApplication> m_app;
};

} // namespace

TEST(TemplatePath, FolderOfTheProgramFile)
{
    EXPECT_EQ(vl::templatePathBeside("/opt/reports/vldemo"), "/opt/reports/test.vld");
    EXPECT_EQ(vl::templatePathBeside("/vldemo"), "/test.vld");
    EXPECT_EQ(vl::templatePathBeside("//vldemo"), "///test.vld");
    EXPECT_EQ(vl::templatePathBeside("vldemo"), "/test.vld");
}

TEST(TemplatePath, DoubleByteFolderNamesAreCutAtTheRealSeparator)
{
    if (!std::setlocale(LC_ALL, "zh_CN.GBK"))
        GTEST_SKIP() << "zh_CN.GBK locale not generated";
    // "报表" in GBK, then a character whose trailing byte is "\" (0x5C).
    EXPECT_EQ(vl::templatePathBeside("/home/\xB1\xA8\xB1\xED\x95\x5C/vldemo"), "/home/\xB1\xA8\xB1\xED\x95\x5C/test.vld");
    std::setlocale(LC_ALL, "C.UTF-8");
}

TEST_F(ProgramTest, LayoutAsDesignedAndFollowingResizes)
{
    start(runDir());
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    QWidget* window = Form1->Window();
    EXPECT_EQ(window->windowTitle(), "Form1");
    // Placed where designed: the frame's corner at 231,133, a client area of 759 by 511.
    EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(231, 133));
    EXPECT_EQ(window->size(), QSize(759, 511));
    EXPECT_EQ(Form1->Panel1->geometry(), QRect(0, 0, 759, 41));
    EXPECT_EQ(Form1->Panel1->frameShadow(), QFrame::Raised);
    EXPECT_EQ(Form1->Button1->geometry(), QRect(16, 8, 89, 25));
    EXPECT_EQ(Form1->Button2->geometry(), QRect(112, 8, 89, 25));
    EXPECT_EQ(Form1->Button3->geometry(), QRect(208, 8, 89, 25));
    EXPECT_EQ(Form1->Button4->geometry(), QRect(304, 8, 89, 25));
    EXPECT_EQ(Form1->Button1->text(), QString::fromUtf16(u"打开报表文件"));
    EXPECT_EQ(Form1->Button2->text(), QString::fromUtf16(u"加载数据"));
    EXPECT_EQ(Form1->Button3->text(), QString::fromUtf16(u"打印"));
    EXPECT_EQ(Form1->Button4->text(), QString::fromUtf16(u"预览"));
    EXPECT_EQ(Form1->PageControl1->geometry(), QRect(0, 41, 759, 470));
    ASSERT_EQ(Form1->PageControl1->count(), 2);
    EXPECT_EQ(Form1->PageControl1->tabText(0), "Vellandor");
    EXPECT_EQ(Form1->PageControl1->tabText(1), "DataXML");
    EXPECT_EQ(Form1->PageControl1->currentIndex(), 0);
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Form1->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(Form1->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(Form1->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    window->resize(1000, 700);
    Form1->PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    EXPECT_EQ(Form1->Panel1->geometry(), QRect(0, 0, 1000, 41));
    EXPECT_EQ(Form1->Button4->geometry(), QRect(304, 8, 89, 25));
    EXPECT_EQ(Form1->PageControl1->geometry(), QRect(0, 41, 1000, 659));
    EXPECT_EQ(Form1->Memo1->geometry(), Form1->TabSheet2->rect());
    ASSERT_NE(Form1->ReportView1, nullptr);
}

TEST_F(ProgramTest, StartedWithoutTheDatabaseShowsOneMessageAndRunsOn)
{
    start(emptyDir());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("test.mdb"), std::string::npos) << boxes[0];
    EXPECT_EQ(captions[0], "vldemo");
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_FALSE(Form1->ADOConnection1->Connected());
    EXPECT_FALSE(Form1->ADODataSet1->Active());
    EXPECT_FALSE(Form1->ADODataSet2->Active());
    EXPECT_EQ(Form1->Caption(), "Form1");

    // Load data then fails at the first closed data set; nothing in the window changes.
    Form1->Button2->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "ADODataSet1: Cannot perform this operation on a closed dataset.");
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Form1->Caption(), "Form1");
    // The viewer's commands report its absence instead of touching it.
    Form1->Button3->click();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2], "The report viewer is not available.");
}

TEST_F(ProgramTest, ViewerPlugInMissingLeavesTheDataOpenAndThePageBlank)
{
    start(runDir(), emptyDir().string());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_TRUE(Form1->ADODataSet1->Active());
    EXPECT_TRUE(Form1->ADODataSet2->Active());
    // Load data builds the document first, then reports the missing viewer.
    Form1->Button2->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "The report viewer is not available.");
    EXPECT_TRUE(Form1->ADODataSet1->AtEnd());
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
}

TEST_F(ProgramTest, LoadDataShowsTheDocumentAndTheElapsedTimeAcrossTheWrap)
{
    start(runDir());
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    std::vector<uint32_t> ticks{0xFFFFFFFAu, 10u};
    size_t next = 0;
    vl::setTickCounter([&] { return ticks[std::min(next++, ticks.size() - 1)]; });
    Form1->Button2->click();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(Form1->Caption(), "16");
    const QString first = Form1->Memo1->toPlainText();
    EXPECT_TRUE(first.startsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master><Row ")) << first.left(80).toStdString();
    EXPECT_TRUE(first.endsWith("</Detail></DocumentData>"));

    // Twice in a row gives the same document and a new time.
    ticks = {100u, 147u};
    next = 0;
    Form1->Button2->click();
    EXPECT_EQ(Form1->Memo1->toPlainText(), first);
    EXPECT_EQ(Form1->Caption(), "47");
}

TEST_F(ProgramTest, OpenReportFileLooksBesideTheProgramWhateverTheWorkingDirectory)
{
    start(runDir());
    vl::setProgramFilePath("/nonexistent/reports/vldemo");
    Form1->Button1->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("/nonexistent/reports/test.vld"), std::string::npos) << boxes[0];
    vl::setProgramFilePath(std::string(VL_RUN_DIR) + "/vldemo");
    Form1->Button1->click();
    EXPECT_EQ(boxes.size(), 1u) << boxes.back();
}

TEST_F(ProgramTest, SampleTemplateAndDataLoadAndClosingEndsWithExitCodeZero)
{
    start(runDir());
    Form1->Button1->click();
    Form1->Button2->click();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    QTimer::singleShot(0, [] { Form1->Window()->close(); });
    EXPECT_EQ(Application->Run(), 0);
}
