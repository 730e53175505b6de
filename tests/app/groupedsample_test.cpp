// The window opens the grouped sample beside the program through the viewer's DocSrc, over the data
// its load-data command reads, and lays it out without a prompt.

#include "BStr.h"
#include "Form1.h"
#include "Platform.h"
#include "ProgramStart.h"
#include "VellandorFree_TLB.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QString>

#include <clocale>
#include <string>
#include <vector>

namespace {

class GroupedSampleWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        vl::test::recordAsProgram(boxes);
        std::filesystem::current_path(VL_RUN_DIR);
        vl::setClassRegistryFolder(VL_RUN_DIR);
        m_app = vl::test::startProgram();
    }
    void TearDown() override
    {
        m_app.reset();
        vl::test::resetProgramSeams();
    }

    std::vector<std::string> boxes;

private:
    vl::test::TestFolder m_back { "vldemo-grouped" }; // puts the working folder back
    std::unique_ptr<TApplication> m_app;
};

TEST_F(GroupedSampleWindow, DocSrcLaysTheGroupedSampleOutOverTheLoadedData)
{
    ASSERT_NE(Form1->ReportView1, nullptr);
    std::vector<std::u16string> prompts;
    Form1->ReportView1->OnPrompt = [&prompts](TObject*, BSTR message) { prompts.emplace_back(message ? message : u""); };
    Form1->Button2->click();
    ASSERT_TRUE(boxes.empty()) << boxes.front();

    Form1->ReportView1->SetDocSrc(u"" VL_RUN_DIR "/grouped.vld");
    int32_t pages = 0;
    ASSERT_EQ(Form1->ReportView1->ViewInterface()->get_PageCount(&pages), S_OK);
    EXPECT_GT(pages, 1);
    vl::BStr title;
    ASSERT_EQ(Form1->ReportView1->ReportDocument()->get_Parameter(vl::BStr(u"Title").get(), &title), S_OK);
    EXPECT_EQ(std::u16string(title.get()), u"部门员工工资表");
    EXPECT_TRUE(prompts.empty()) << QString::fromStdU16String(prompts.front()).toStdString();
    EXPECT_TRUE(boxes.empty());
}

} // namespace
