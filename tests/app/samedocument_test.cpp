// The same data under the same locale give the same document from vldata and from the window's
// load-data command: both run the one start (runtime/Startup.h). vldata runs as a child process
// with the window's encoding and relation over the sample database beside the program.

#include "Application.h"
#include "ChildProcess.h"
#include "ClassRegistry.h"
#include "Form1.h"
#include "FormatSettings.h"
#include "LocaleGuard.h"
#include "Platform.h"
#include "ProgramStart.h"
#include "Startup.h"
#include "Text.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

struct LocaleCase {
    const char* name;
    // A value of the sample as this locale writes it, so that two documents that both ignored the
    // locale could not pass.
    std::u16string birthday;
};

std::ostream& operator<<(std::ostream& out, const LocaleCase& c) { return out << c.name; }

class SameDocument : public testing::TestWithParam<LocaleCase> {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(VL_RUN_DIR);
        vl::setProgramFilePath(std::string(VL_RUN_DIR) + "/vldemo");
        vl::setClassRegistryFolder(VL_RUN_DIR);
        vl::setMessageBoxHandler([this](const std::string& text, const std::string&, vl::MessageBoxIcon) {
            boxes.push_back(text);
        });
    }
    void TearDown() override
    {
        vl::test::resetProgramSeams();
    }

    // The document of the window's load-data command, as its text box shows it.
    QString windowDocument()
    {
        std::unique_ptr<TApplication> app = vl::test::startProgram();
        Form1->Button2->click();
        QString text = Form1->Memo1->toPlainText();
        app.reset();
        return text;
    }

    vl::test::RunResult runVldata(const char* locale)
    {
        return vl::test::runProgram(VLDATA_PATH,
            { "--encoding", "GB2312", "--master", "select * from Bas_Department order by deptno", "--detail", "Detail",
                "select * from Bas_Employee order by deptno", "--relation", "DeptNo=DeptNo" },
            VL_RUN_DIR, m_folder.path().string(), { { "LC_ALL", locale } });
    }

    std::vector<std::string> boxes;

private:
    vl::test::LocaleGuard m_locale;
    vl::test::TestFolder m_folder{"vldemo-samedocument"};
};

TEST_P(SameDocument, FromVldataAndFromTheWindowsLoadData)
{
    const LocaleCase& c = GetParam();
    // As the program's main begins.
    setenv("LC_ALL", c.name, 1);
    vl::setLocaleFromEnvironment();
    if (std::string(std::setlocale(LC_ALL, nullptr)) != c.name)
        GTEST_SKIP() << c.name << " is not generated (scripts/setup)";
    const QString window = windowDocument();
    ASSERT_TRUE(boxes.empty()) << boxes.front();
    ASSERT_FALSE(window.isEmpty());

    const vl::test::RunResult tool = runVldata(c.name);
    ASSERT_EQ(tool.exitCode, 0) << tool.err;
    EXPECT_EQ(tool.err, "");
    // The window reads the document in the locale's code page; the way back gives the same bytes,
    // so equal wide texts mean equal documents.
    const std::u16string wide = vl::toWide(tool.out);
    ASSERT_EQ(vl::toNarrow(wide), tool.out);
    EXPECT_EQ(QString::fromStdU16String(wide), window);
    EXPECT_TRUE(window.contains(QString::fromStdU16String(c.birthday))) << window.left(600).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Locales, SameDocument,
    testing::Values(LocaleCase { "de_DE.UTF-8", u"Birthday=\"27.02.1965\"" },
        LocaleCase { "zh_CN.GBK", u"Birthday=\"1965年02月27日\"" }, LocaleCase { "C", u"Birthday=\"2/27/65\"" }),
    [](const testing::TestParamInfo<LocaleCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

} // namespace
