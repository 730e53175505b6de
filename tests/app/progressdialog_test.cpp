// The progress box of long commands: the bar's shares per step, its showing and hiding, and load
// data driving it in the real window over databases large enough to report rows many times.

#include "Application.h"
#include "ClassRegistry.h"
#include "Form1.h"
#include "Platform.h"
#include "ProgramStart.h"
#include "ProgressDialog.h"
#include "SqlScript.h"
#include "Startup.h"
#include "TestFiles.h"
#include "WidgetSuite.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const int Forever = std::numeric_limits<int>::max();

// What the bar showed at each move: its value, the step's label and whether the box was up.
struct Move {
    int value;
    QString label;
    bool visible;
};

void recordMoves(vl::ProgressDialog& dialog, std::vector<Move>& moves)
{
    QObject::connect(dialog.bar(), &QProgressBar::valueChanged, dialog.bar(), [&dialog, &moves](int value) {
        moves.push_back({ value, dialog.label()->text(), dialog.isVisible() });
    });
}

class CommandProgressTest : public vl::test::WidgetSuite
{
protected:
    void SetUp() override
    {
        window.resize(400, 300);
        window.show();
        QApplication::processEvents();
        dialog = new vl::ProgressDialog(&window);
        dialog->setMinimumDuration(0);
        dialog->setUpdateInterval(0);
    }

    QWidget window;
    vl::ProgressDialog* dialog = nullptr; // owned by the window
    const vl::ProgressStep steps[4] = { { "document", 50 }, { "conversion", 5 }, { "viewer", 35 }, { "text", 10 } };
};

TEST_F(CommandProgressTest, EachStepCoversItsShareOfTheBar)
{
    vl::CommandProgress progress(*dialog, steps);
    EXPECT_EQ(dialog->bar()->value(), 0);
    EXPECT_EQ(dialog->label()->text(), "document");
    progress.advance(1, 4);
    EXPECT_EQ(dialog->bar()->value(), 125);
    progress.advance(4, 4);
    EXPECT_EQ(dialog->bar()->value(), 500);
    progress.beginStep(1);
    EXPECT_EQ(dialog->bar()->value(), 500);
    EXPECT_EQ(dialog->label()->text(), "conversion");
    progress.beginStep(2);
    EXPECT_EQ(dialog->bar()->value(), 550);
    EXPECT_EQ(dialog->label()->text(), "viewer");
    progress.beginStep(3);
    EXPECT_EQ(dialog->bar()->value(), 900);
    EXPECT_EQ(dialog->label()->text(), "text");
    progress.finish();
    EXPECT_EQ(dialog->bar()->value(), vl::ProgressDialog::Maximum);
}

TEST_F(CommandProgressTest, TheBarNeverMovesBackward)
{
    vl::CommandProgress progress(*dialog, steps);
    progress.advance(3, 4);
    EXPECT_EQ(dialog->bar()->value(), 375);
    // A step reporting less than before, or more than its total, keeps the bar where it is or
    // at the step's end.
    progress.advance(1, 4);
    EXPECT_EQ(dialog->bar()->value(), 375);
    progress.advance(9, 4);
    EXPECT_EQ(dialog->bar()->value(), 500);
    // No rows at all: the step is complete.
    progress.beginStep(2);
    progress.advance(0, 0);
    EXPECT_EQ(dialog->bar()->value(), 900);
}

TEST_F(CommandProgressTest, ANewCommandStartsTheBarAgain)
{
    {
        vl::CommandProgress progress(*dialog, steps);
        progress.finish();
    }
    std::vector<Move> moves;
    recordMoves(*dialog, moves);
    vl::CommandProgress progress(*dialog, steps);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].value, 0);
    EXPECT_EQ(moves[0].label, "document");
}

TEST_F(CommandProgressTest, RowsWithinAStepWaitForTheUpdateIntervalButANewStepShowsAtOnce)
{
    dialog->setUpdateInterval(Forever);
    vl::CommandProgress progress(*dialog, steps);
    progress.advance(2, 4);
    progress.advance(4, 4);
    EXPECT_EQ(dialog->bar()->value(), 0);
    progress.beginStep(2);
    EXPECT_EQ(dialog->bar()->value(), 550);
    EXPECT_EQ(dialog->label()->text(), "viewer");
}

TEST_F(CommandProgressTest, TheBoxShowsModalForTheCommandWithTheBusyPointerAndNoWayOut)
{
    {
        vl::CommandProgress progress(*dialog, steps);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), dialog);
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        // Neither Escape nor the window's close takes the box away while the command runs.
        dialog->reject();
        QCloseEvent close;
        QApplication::sendEvent(dialog, &close);
        EXPECT_FALSE(close.isAccepted());
        EXPECT_TRUE(dialog->isVisible());
    }
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(CommandProgressTest, AShortCommandShowsOnlyThePointer)
{
    dialog->setMinimumDuration(Forever);
    vl::CommandProgress progress(*dialog, steps);
    progress.advance(4, 4);
    progress.beginStep(3);
    progress.finish();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
}

TEST_F(CommandProgressTest, AFailureMidWayTakesTheBoxAwayAndRestoresThePointer)
{
    try {
        vl::CommandProgress progress(*dialog, steps);
        progress.advance(1, 4);
        progress.beginStep(2);
        throw std::runtime_error("step failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(dialog->bar()->value(), 550);
}

// ---- Load data in the window --------------------------------------------------------------------

using vl::test::execSql;
using vl::test::readBytes;

// Rows enough for the document step to report its progress many times over.
std::string moreEmployees(int count)
{
    return "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + std::to_string(count)
        + ") insert into Bas_Employee (EmpNo, EmpName, Sex, Birthday, HireDate, Salary, Married, DeptNo, Memo) "
          "select printf('E%06d', i), '员工' || i, '男', '1970-01-01', '2010-05-06', 5000 + i % 1000, i % 2, "
          "1 + i % 9, null from n;";
}

std::string moreDepartments(int count)
{
    return "with recursive n(i) as (select 1 union all select i + 1 from n where i < " + std::to_string(count)
        + ") insert into Bas_Department (DeptNo, DeptName, DeptCode, ParentNo, PathNo, PathName, Level, Ord) "
          "select 100 + i, '部门' || i, 'D' || i, 1, '001', '总公司', 2, i from n;";
}

// The program as main starts it, in a folder of its own with the sample data as an SQLite file
// that each test enlarges or changes with SQL first.
class LoadDataProgressTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        execSql(database(), readBytes(fs::path(VL_SOURCE_DIR) / "samples" / "test.sql"));
        vl::setProgramFilePath(std::string(VL_RUN_DIR) + "/vldemo");
        vl::setClassRegistryFolder(VL_RUN_DIR);
        vl::setMessageBoxHandler(
            [this](const std::string& text, const std::string&, vl::MessageBoxIcon) { boxes.push_back(text); });
    }
    void TearDown() override
    {
        m_app.reset();
        vl::test::resetProgramSeams();
    }

    fs::path database() const { return m_folder.path() / "test.mdb"; }

    // Starts the window with a box that shows at once and follows every report.
    void start()
    {
        fs::current_path(m_folder.path());
        m_app = vl::test::startProgram();
        ASSERT_NE(Form1->ProgressDialog1, nullptr);
        Form1->ProgressDialog1->setMinimumDuration(0);
        Form1->ProgressDialog1->setUpdateInterval(0);
        recordMoves(*Form1->ProgressDialog1, moves);
    }

    void expectTheBoxGone() const
    {
        EXPECT_FALSE(Form1->ProgressDialog1->isVisible());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }

    std::vector<std::string> boxes;
    std::vector<Move> moves;

private:
    vl::test::TestFolder m_folder{"vldemo-progress"};
    std::unique_ptr<TApplication> m_app;
};

TEST_F(LoadDataProgressTest, TheBarMovesForwardThroughEveryStepToItsEnd)
{
    const int employees = 50000;
    execSql(database(), moreEmployees(employees));
    start();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_EQ(Form1->ProgressDialog1->bar()->value(), 0);
    Form1->Button2->click();
    ASSERT_TRUE(boxes.empty()) << boxes.front();

    ASSERT_FALSE(moves.empty());
    EXPECT_GT(moves.front().value, 0);
    EXPECT_EQ(moves.back().value, vl::ProgressDialog::Maximum);
    for (size_t i = 1; i < moves.size(); ++i)
        EXPECT_GT(moves[i].value, moves[i - 1].value) << "move " << i;
    EXPECT_TRUE(std::all_of(moves.begin(), moves.end(), [](const Move& move) { return move.visible; }));

    // The document step reports every 8192 rows; the steps that report no rows move the bar at
    // their start, in order (the conversion starts where the document ended, so only its end shows).
    const QString document = QString::fromUtf16(u"正在生成数据文档…");
    const auto documentMoves
        = std::count_if(moves.begin(), moves.end(), [&](const Move& move) { return move.label == document; });
    EXPECT_GE(documentMoves, employees / 8192);
    std::vector<QString> labels;
    for (const Move& move : moves)
        if (labels.empty() || labels.back() != move.label)
            labels.push_back(move.label);
    const std::vector<QString> expected { document, QString::fromUtf16(u"正在载入报表…"),
        QString::fromUtf16(u"正在填充文本…") };
    EXPECT_EQ(labels, expected);

    expectTheBoxGone();
    const std::string caption = Form1->Caption();
    EXPECT_FALSE(caption.empty());
    EXPECT_TRUE(std::all_of(caption.begin(), caption.end(), [](char c) { return c >= '0' && c <= '9'; })) << caption;
    EXPECT_TRUE(Form1->Memo1->toPlainText().endsWith("</Detail></DocumentData>"));
}

TEST_F(LoadDataProgressTest, AFailureInTheDocumentTakesTheBoxAwayAndPassesOn)
{
    // Many departments are written before the employees' forged column name stops the document.
    execSql(database(), moreDepartments(30000) + "alter table Bas_Employee rename column Memo to \"Me<mo\";");
    start();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    Form1->Button2->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Me<mo"), std::string::npos) << boxes[0];
    // The bar had moved on through the departments.
    ASSERT_GE(moves.size(), 3u);
    EXPECT_EQ(moves.back().label, QString::fromUtf16(u"正在生成数据文档…"));
    EXPECT_LT(moves.back().value, vl::ProgressDialog::Maximum);
    EXPECT_TRUE(moves.back().visible);
    expectTheBoxGone();
    EXPECT_EQ(Form1->Caption(), "Form1");
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
}

TEST_F(LoadDataProgressTest, AFailureInTheViewerTakesTheBoxAwayAndPassesOn)
{
    // A column name with a blank passes into the document and makes it unreadable for the viewer.
    execSql(database(), moreEmployees(20000) + "alter table Bas_Department rename column DeptName to \"Dept Name\";");
    start();
    Form1->Button2->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Data document: ", 0), 0u) << boxes[0];
    ASSERT_FALSE(moves.empty());
    EXPECT_LT(moves.back().value, vl::ProgressDialog::Maximum);
    EXPECT_EQ(moves.back().label, QString::fromUtf16(u"正在载入报表…"));
    expectTheBoxGone();
    EXPECT_EQ(Form1->Caption(), "Form1");

    // The next load starts the bar again from nothing.
    moves.clear();
    Form1->Button2->click();
    ASSERT_EQ(boxes.size(), 2u);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.front().value, 0);
    expectTheBoxGone();
}

} // namespace
