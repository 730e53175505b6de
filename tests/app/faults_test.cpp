// Faults end to end: the real window on the offscreen platform, the real viewer plug-in (or a
// broken one in a test-local program folder), and one fault at a time. Each fault gives exactly
// one message box with its text (none for a cancelled print dialog), the program runs on, the next
// command works, closing ends with exit code 0, and the database file keeps every byte.

#include "ADODB.h"
#include "Application.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "ErrorInfo.h"
#include "Form1.h"
#include "Platform.h"
#include "ProgramStart.h"
#include "ReportDialogHook.h"
#include "SqlScript.h"
#include "Startup.h"
#include "TestFiles.h"
#include "VellandorFree_TLB.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <clocale>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const char* const ViewerClassId = "{9CD362AE-2503-42F5-8053-389BEFBA293D}";
const std::vector<std::string> ViewerUnavailable { "The report viewer is not available." };

using vl::test::execSql;
using vl::test::readBytes;
using vl::test::writeBytes;

// The sample data as an SQLite file made from its script, whatever format the build gives
// test.mdb, so that a test can change it with SQL.
void writeSqliteSample(const fs::path& database)
{
    fs::remove(database);
    execSql(database, readBytes(fs::path(VL_SOURCE_DIR) / "samples" / "test.sql"));
}

// Print and preview dialogs of the plug-in go through its seam; each is answered as set.
struct DialogAnswers {
    int print = 0;
    int preview = 1;
    std::vector<int> asked;
};

int answerDialog(int kind, QDialog*, QPrinter*, void* context)
{
    auto* answers = static_cast<DialogAnswers*>(context);
    answers->asked.push_back(kind);
    return kind == VlReportPrintDialog ? answers->print : answers->preview;
}

class FaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::setlocale(LC_ALL, "C.UTF-8");
        fs::create_directories(workDir());
        fs::create_directories(programDir());
        sampleBytes = readBytes(runDir() / "test.mdb");
        ASSERT_FALSE(sampleBytes.empty());
        // By default the program lies in the run folder and works on a copy of the sample data.
        fs::copy_file(runDir() / "test.mdb", workDir() / "test.mdb");
        vl::setProgramFilePath((runDir() / "vldemo").string());
        vl::setClassRegistryFolder(runDir().string());
        vl::setMessageBoxHandler([this](const std::string& text, const std::string& caption, vl::MessageBoxIcon icon) {
            boxes.push_back(text);
            EXPECT_EQ(caption, "vldemo");
            EXPECT_EQ(icon, vl::MessageBoxIcon::Stop);
        });
    }

    void TearDown() override
    {
        if (m_app) {
            // The program runs on: the message loop takes the close and ends with 0.
            QTimer::singleShot(0, [] { Form1->Window()->close(); });
            EXPECT_EQ(Application->Run(), 0);
        }
        if (m_setHook)
            m_setHook(nullptr, nullptr);
        m_app.reset();
        // With the window gone, no object of the component layer may be left behind.
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(vl::liveObjectCount(), 0);
        if (fs::exists(workDir() / "test.mdb")) {
            EXPECT_EQ(readBytes(workDir() / "test.mdb"), m_databaseBytes) << "the database file changed";
        }
        EXPECT_EQ(readBytes(runDir() / "test.mdb"), sampleBytes) << "the sample database changed";
        vl::test::resetProgramSeams();
    }

    void start()
    {
        m_databaseBytes = fs::exists(workDir() / "test.mdb") ? readBytes(workDir() / "test.mdb") : std::string();
        fs::current_path(workDir());
        m_app = vl::test::startProgram();
        // The plug-in is loaded once the viewer exists; its dialogs then answer as the test says.
        if (void* module = dlopen((runDir() / "vlreportctl.so").c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            m_setHook = reinterpret_cast<decltype(m_setHook)>(dlsym(module, "VlReportCtlSetDialogHook"));
            dlclose(module);
            if (m_setHook)
                m_setHook(answerDialog, &dialogs);
        }
    }

    // Starts the program, which must bring up exactly one box, saying `message`.
    void startWithOneBox(const std::string& message)
    {
        start();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0], message);
    }

    // Starts the program with the template beside it in the test's folder and opens it, which must
    // bring up exactly one box: the template's path followed by `afterPath`.
    void expectOpenTemplateRefused(const std::string& afterPath)
    {
        start();
        vl::setProgramFilePath((programDir() / "vldemo").string());
        const auto shown = click(Form1->Button1);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0], "Template file \"" + (programDir() / "test.vld").string() + "\"" + afterPath);
    }

    // A program folder of the test's own, with the given viewer library registered beside it.
    void useProgramFolder(const fs::path& viewerLibrary, bool copyLibrary = true)
    {
        fs::path name = viewerLibrary.filename();
        if (copyLibrary && fs::exists(viewerLibrary))
            fs::copy_file(viewerLibrary, programDir() / name);
        std::ofstream(programDir() / "vlreportctl.classreg")
            << ViewerClassId << " " << (copyLibrary ? name : viewerLibrary).string() << "\n";
        vl::setClassRegistryFolder(programDir().string());
        vl::setProgramFilePath((programDir() / "vldemo").string());
    }

    // Clicks the button and answers the texts of the message boxes it brought up.
    std::vector<std::string> click(QPushButton* button)
    {
        const size_t before = boxes.size();
        button->click();
        QApplication::processEvents();
        return { boxes.begin() + static_cast<long>(before), boxes.end() };
    }

    // Load data, which must work: the document is shown and no box comes up.
    void expectLoadDataWorks()
    {
        EXPECT_EQ(click(Form1->Button2), std::vector<std::string>());
        EXPECT_TRUE(
            Form1->Memo1->toPlainText().startsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData>"));
    }
    void expectOpenTemplateWorks()
    {
        vl::setProgramFilePath((runDir() / "vldemo").string());
        EXPECT_EQ(click(Form1->Button1), std::vector<std::string>());
    }

    fs::path runDir() const { return VL_RUN_DIR; }
    fs::path workDir() const { return m_folder.path() / "work"; }
    fs::path programDir() const { return m_folder.path() / "program"; }
    fs::path database() const { return workDir() / "test.mdb"; }

    std::vector<std::string> boxes;
    DialogAnswers dialogs;
    std::string sampleBytes; // the run folder's sample database

private:
    vl::test::TestFolder m_folder{"vldemo-faults"};
    std::string m_databaseBytes;
    std::unique_ptr<TApplication> m_app;
    void (*m_setHook)(VlReportDialogHook, void*) = nullptr;
};

const std::vector<std::string> NoBox;

// ---- The database ---------------------------------------------------------------------------

TEST_F(FaultTest, MissingDatabase)
{
    fs::remove(database());
    start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Could not find file '" + database().string() + "'"); // "'" sorts below "."
    EXPECT_FALSE(Form1->ADOConnection1->Connected());
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_EQ(click(Form1->Button2),
        std::vector<std::string> { "ADODataSet1: Cannot perform this operation on a closed dataset." });
    EXPECT_FALSE(fs::exists(database())) << "opening created the database";
}

TEST_F(FaultTest, FileThatIsNoDatabase)
{
    writeBytes(database(), "Department;Employee\n10;Sales\n");
    start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Unrecognized database format '" + database().string() + "'");
    EXPECT_FALSE(Form1->ADODataSet1->Active());
    EXPECT_EQ(click(Form1->Button3), ViewerUnavailable);
}

TEST_F(FaultTest, TruncatedDatabase)
{
    writeSqliteSample(database());
    const std::string whole = readBytes(database());
    writeBytes(database(), whole.substr(0, whole.size() / 2));
    start();
    ASSERT_EQ(boxes.size(), 1u) << (boxes.empty() ? "" : boxes.back());
    EXPECT_EQ(boxes[0], "Cannot open the database '" + database().string() + "': database disk image is malformed.");
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_EQ(click(Form1->Button1), ViewerUnavailable);
}

TEST_F(FaultTest, MissingTable)
{
    writeSqliteSample(database());
    execSql(database(), "drop table Bas_Employee; vacuum;");
    start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "The input table or query 'Bas_Employee' cannot be found.");
    EXPECT_TRUE(Form1->ADODataSet1->Active());
    EXPECT_FALSE(Form1->ADODataSet2->Active());
    EXPECT_EQ(click(Form1->Button2),
        std::vector<std::string> { "ADODataSet2: Cannot perform this operation on a closed dataset." });
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
}

// ---- The viewer plug-in ---------------------------------------------------------------------

TEST_F(FaultTest, PlugInMissing)
{
    useProgramFolder(programDir() / "vlreportctl.so", false);
    ASSERT_NO_FATAL_FAILURE(startWithOneBox("The specified module could not be found."));
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_TRUE(Form1->ADODataSet2->Active());
    EXPECT_EQ(click(Form1->Button2), ViewerUnavailable);
}

TEST_F(FaultTest, PlugInWithoutItsEntryPoint)
{
    useProgramFolder(VL_FAULT_NO_ENTRY_PLUGIN);
    ASSERT_NO_FATAL_FAILURE(startWithOneBox("Error in the DLL."));
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_EQ(click(Form1->Button4), ViewerUnavailable);
}

TEST_F(FaultTest, ClassFactoryFails)
{
    useProgramFolder(VL_FAULT_FACTORY_PLUGIN);
    ASSERT_NO_FATAL_FAILURE(
        startWithOneBox("Not enough memory resources are available to complete this operation."));
    EXPECT_EQ(Form1->ReportView1, nullptr);
    EXPECT_EQ(click(Form1->Button2), ViewerUnavailable);
}

TEST_F(FaultTest, ControlRefusesActivation)
{
    useProgramFolder(VL_FAULT_ACTIVATION_PLUGIN);
    ASSERT_NO_FATAL_FAILURE(startWithOneBox("OLE control activation failed."));
    // The control object exists without its window; the data commands still reach it.
    expectLoadDataWorks();
}

// ---- Templates, documents, sheets, dialogs ----------------------------------------------------

TEST_F(FaultTest, MissingTemplate)
{
    ASSERT_NO_FATAL_FAILURE(expectOpenTemplateRefused(" not found."));
    expectLoadDataWorks();
    expectOpenTemplateWorks();
}

TEST_F(FaultTest, MalformedTemplate)
{
    writeBytes(
        programDir() / "test.vld", "<?xml version=\"1.0\"?>\n<report version=\"1\">\n  <sheet name=\"Sheet1\">\n");
    ASSERT_NO_FATAL_FAILURE(expectOpenTemplateRefused(": Start-end tags mismatch at line 3, column 24."));
    expectLoadDataWorks();
    expectOpenTemplateWorks();
}

TEST_F(FaultTest, TemplateWithADeeplyNestedExpression)
{
    const std::string deep = std::string(10000, '(') + "1" + std::string(10000, ')');
    writeBytes(programDir() / "test.vld",
        "<?xml version=\"1.0\"?>\n<report version=\"1\">\n  <sheet name=\"Sheet1\">\n    <title height=\"5\"><cell width=\"9\">["
            + deep + "]</cell></title>\n  </sheet>\n</report>\n");
    ASSERT_NO_FATAL_FAILURE(expectOpenTemplateRefused(
        ": the expression nests deeper than 256 levels of parentheses, function calls, minus signs and nots"
        " at line 4, column 23."));
    expectLoadDataWorks();
    expectOpenTemplateWorks();
}

TEST_F(FaultTest, MalformedDataDocument)
{
    // Names go into the document as they are: a column name with a blank makes it unreadable.
    writeSqliteSample(database());
    execSql(database(), "alter table Bas_Department rename column DeptName to \"Dept Name\"; vacuum;");
    start();
    ASSERT_EQ(boxes, NoBox);
    const auto shown = click(Form1->Button2);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Data document: ", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find(" at line 1, column "), std::string::npos) << shown[0];
    EXPECT_TRUE(Form1->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Form1->Caption(), "Form1");
    expectOpenTemplateWorks();
}

TEST_F(FaultTest, PreviewOfASheetThatDoesNotExist)
{
    std::string sample = readBytes(runDir() / "test.vld");
    const auto at = sample.find("name=\"Sheet1\"");
    ASSERT_NE(at, std::string::npos);
    sample.replace(at, 13, "name=\"Sheet9\"");
    writeBytes(programDir() / "test.vld", sample);
    start();
    vl::setProgramFilePath((programDir() / "vldemo").string());
    EXPECT_EQ(click(Form1->Button1), NoBox);
    expectLoadDataWorks();
    const auto shown = click(Form1->Button4);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "The template has no sheet \"Sheet1\""); // '"' sorts below "."
    EXPECT_TRUE(dialogs.asked.empty());
    expectOpenTemplateWorks();
    EXPECT_EQ(click(Form1->Button4), NoBox);
}

TEST_F(FaultTest, CancelledPrintDialog)
{
    start();
    expectOpenTemplateWorks();
    expectLoadDataWorks();
    dialogs.print = 0;
    EXPECT_EQ(click(Form1->Button3), NoBox);
    EXPECT_EQ(dialogs.asked, std::vector<int> { VlReportPrintDialog });
    EXPECT_EQ(click(Form1->Button4), NoBox);
    EXPECT_EQ(dialogs.asked, (std::vector<int> { VlReportPrintDialog, VlReportPreviewDialog }));
}

} // namespace
