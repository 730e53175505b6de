// vlreport --pdf as a child process: the template's metadata, web links and the outline of master
// rows in the file, pages written while they are laid out, and a device that fails every write.

#include "ChildProcess.h"
#include "CommandOutput.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <regex>
#include <string>

namespace {

using vl::test::commandOutput;
using vl::test::withoutSpace;

const char* const Template = R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title="部门名单" author="HR Office" subject="Staff by department">
  <sheet name="Sheet1"><page size="A5" margins="10"/><font font="WenQuanYi Micro Hei" size="10"/>
    <master height="10" pageBreak="before">
      <cell x="0" width="60" href="https://example.com/d/[Master.DeptNo]">[Master.DeptName]</cell>
    </master>
    <detail detail="Detail" height="6" border="all"><cell x="0" width="60">[Detail.EmpName]</cell></detail>
    <pageFooter height="8"><cell x="0" width="120">第 [Page] 页，共 [Pages] 页</cell></pageFooter>
  </sheet></report>)";

const char* const Data = R"(<?xml version="1.0" encoding="UTF-8"?>
<DocumentData><Master><Row DeptNo="1" DeptName="销售部"/><Row DeptNo="2" DeptName="研发部"/></Master>
<Detail><Row __MasterIdx="0" EmpName="张三"/><Row __MasterIdx="1" EmpName="李四"/></Detail></DocumentData>)";

class VlreportPdf : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const auto& [name, text] : {std::pair{"staff.vld", Template}, std::pair{"staff.xml", Data}}) {
            QFile file(m_dir.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
    }
    vl::test::RunResult run(const std::string& pdf)
    {
        return vl::test::runProgram(VLREPORT_PATH, {"staff.vld", "--data", "staff.xml", "--pdf", pdf},
                                    m_dir.path().toStdString(), {}, {{"QT_QPA_PLATFORM", "offscreen"}});
    }
    QTemporaryDir m_dir;
};

TEST_F(VlreportPdf, CarriesTheTemplatesMetadataLinksAndOutline)
{
    const vl::test::RunResult r = run("staff.pdf");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string pdf = m_dir.filePath(QStringLiteral("staff.pdf")).toStdString();
    const std::string info = commandOutput("pdfinfo -enc UTF-8 '" + pdf + "'");
    for (const char* line : {"Title:           部门名单", "Author:          HR Office", "Subject:         Staff by department",
                             "Creator:         vlreport", "Pages:           2"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    // [Pages] is the final count on the first page, written before the second was laid out.
    const std::string first = withoutSpace(commandOutput("pdftotext -q -enc UTF-8 -f 1 -l 1 '" + pdf + "' -"));
    EXPECT_NE(first.find("销售部"), std::string::npos) << first;
    EXPECT_NE(first.find("张三"), std::string::npos) << first;
    EXPECT_NE(first.find("第1页，共2页"), std::string::npos) << first;

    QFile file(QString::fromStdString(pdf));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.contains("/URI (https://example.com/d/1)") && bytes.contains("/URI (https://example.com/d/2)"));
    EXPECT_TRUE(bytes.contains("/Type /Outlines") && bytes.contains("/Count 2"));
    EXPECT_TRUE(bytes.contains("/Title <FEFF9500552E90E8>")) << "the outline entry of 销售部";
}

TEST_F(VlreportPdf, AFailingDeviceIsAFailureWithItsName)
{
    const vl::test::RunResult r = run("/dev/full");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(std::regex_search(r.err, std::regex("Cannot write to \"/dev/full\"\\. .*space"))) << r.err;
}

} // namespace
