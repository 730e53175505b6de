// The session without the control: what it tells its observer, and what it refuses while a layout runs.

#include "ReportSession.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <functional>

using namespace vl;

namespace {

const QByteArray Template = R"(<report version="1">
  <sheet name="Staff"><page width="100" height="40" margins="5"/>
    <master height="5"><cell width="50">[Master.Dept]|[Master.Gone]</cell></master>
    <detail detail="Detail" height="5"><cell width="50" name="Salary" input="true">[Detail.Salary]</cell></detail>
    <summary height="5"><cell width="50">[sum(Detail.Salary)] [Tax(1)]</cell></summary>
  </sheet>
  <sheet name="Other"><page width="100" height="40" margins="5"/>
    <master height="5"><cell width="50">O[Master.Dept]</cell></master></sheet>
</report>)";

const char Data[] = "<DocumentData><Master><Row Dept=\"A\"/></Master>"
                    "<Detail><Row __MasterIdx=\"0\" Salary=\"10\"/><Row __MasterIdx=\"0\" Salary=\"20\"/></Detail></DocumentData>";

// Records what the session tells, as lines, and answers custom functions through a test's hook.
struct Recorder : ReportSessionObserver {
    std::vector<QString> told;
    std::function<void()> duringCustomFunction;
    void dataLoaded() override { told.push_back(u"loaded"_qs); }
    void dataLoadFailed(const QString&) override { told.push_back(u"load failed"_qs); }
    void prompted(const QString& message) override { told.push_back(u"prompt: "_qs + message); }
    void inputChanged(const PageItem&, const QString& oldValue, const QString& newValue) override
    {
        told.push_back(u"changed: %1 -> %2"_qs.arg(oldValue, newValue));
    }
    std::optional<ExprValue> customFunction(const QString& name, const std::vector<ExprValue>&) override
    {
        if (duringCustomFunction)
            duringCustomFunction();
        told.push_back(u"function: "_qs + name);
        return ExprValue::fromNumber(7);
    }
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(writeFile(templatePath(), Template));
    }
    QString templatePath() const { return folder.filePath(u"staff.vlt"_qs); }
    // The input cell of the given detail row, from a full layout of the active sheet.
    PageItem salaryCell(ReportSession& session, int row)
    {
        LaidOutReport report;
        EXPECT_TRUE(session.layoutSheet(QString(), report));
        for (const PageItem& item : report.pages.at(0).items)
            if (item.cell && item.cell->input && item.rowIndex == row)
                return item;
        ADD_FAILURE() << "no input cell for row " << row;
        return {};
    }
    QTemporaryDir folder;
    Recorder recorder;
};

} // namespace

TEST_F(SessionTest, OnDemandLaysOutOnlyWhenAskedAndTellsEachPromptOncePerData)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(templatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    EXPECT_EQ(session.layouter(), nullptr) << "no view asked for pages";
    EXPECT_EQ(recorder.told, std::vector<QString>{u"loaded"_qs});

    LaidOutReport report;
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    EXPECT_EQ(report.pageText(0), "A|\n10\n20\n30 7");
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    const std::vector<QString> once = {u"loaded"_qs, u"function: Tax"_qs,
                                       u"prompt: The data has no field \"Master.Gone\"; its cells print empty"_qs,
                                       u"function: Tax"_qs};
    EXPECT_EQ(recorder.told, once) << "prompts wait for the layout's end and come once per data";

    ASSERT_TRUE(session.layoutSheet(u"other"_qs, report));
    EXPECT_EQ(report.pageText(0), "OA");
    const SessionResult missing = session.layoutSheet(u"Nope"_qs, report);
    EXPECT_EQ(missing.code, SessionResult::NoSuchSheet);
    EXPECT_EQ(missing.message, "The template has no sheet \"Nope\"");
}

TEST_F(SessionTest, RefusedDataKeepTheOldAndTellTheFailure)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    const SessionResult refused = session.loadData(QStringView(u"<DocumentData><Master>"));
    EXPECT_EQ(refused.code, SessionResult::Failed);
    EXPECT_FALSE(refused.message.isEmpty());
    EXPECT_EQ(session.data().masterRows.size(), 1u);
    EXPECT_EQ(recorder.told, (std::vector<QString>{u"loaded"_qs, u"load failed"_qs}));
    const SessionResult badTemplate = session.openTemplate(folder.filePath(u"none.vlt"_qs));
    EXPECT_EQ(badTemplate.code, SessionResult::Failed);
    EXPECT_FALSE(session.reportTemplate().has_value());
}

TEST_F(SessionTest, NothingChangesWhileALayoutCallsOut)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(templatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    std::vector<SessionResult> during;
    recorder.duringCustomFunction = [&] {
        during.push_back(session.openTemplate(templatePath()));
        during.push_back(session.loadData(std::string_view(Data)));
        during.push_back(session.clearData());
        during.push_back(session.setActiveSheet(u"Other"_qs));
        during.push_back(session.closeTemplate());
    };
    LaidOutReport report;
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    ASSERT_EQ(during.size(), 5u);
    for (const SessionResult& result : during)
        EXPECT_EQ(result.code, SessionResult::Busy) << result.message.toStdString();
    EXPECT_EQ(session.data().details.at(0).rows.size(), 2u);
    EXPECT_EQ(report.pageText(0), "A|\n10\n20\n30 7");
}

TEST_F(SessionTest, InputEditsAreUndoneLastFirstAndOnlyWhileUndoIsOn)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(templatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    recorder.told.clear();

    EXPECT_FALSE(session.commitInput(salaryCell(session, 0), u"10"_qs)) << "the same value is no edit";
    EXPECT_TRUE(session.commitInput(salaryCell(session, 0), u"11"_qs));
    EXPECT_TRUE(session.commitInput(salaryCell(session, 1), u"22"_qs));
    LaidOutReport report;
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    EXPECT_TRUE(report.pageText(0).startsWith(u"A|\n11\n22\n33"_qs)) << report.pageText(0).toStdString();

    EXPECT_TRUE(session.undoInput());
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    EXPECT_TRUE(report.pageText(0).startsWith(u"A|\n11\n20\n31"_qs)) << report.pageText(0).toStdString();
    session.setUndoEnabled(false);
    EXPECT_FALSE(session.undoInput()) << "turning undo off forgets the edits";
    session.setUndoEnabled(true);
    EXPECT_FALSE(session.undoInput());
    const std::vector<QString> changes = {u"changed: 10 -> 11"_qs, u"changed: 20 -> 22"_qs};
    std::vector<QString> told;
    for (const QString& line : recorder.told)
        if (line.startsWith(u"changed"))
            told.push_back(line);
    EXPECT_EQ(told, changes);
}

TEST_F(SessionTest, ForViewKeepsEachSheetsLayoutWhileTheCacheIsOn)
{
    ReportSession session(&recorder);
    ASSERT_TRUE(session.openTemplate(templatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    ASSERT_NE(session.layouter(), nullptr) << "a view is shown its first pages at once";
    const ReportLayouter* staff = session.layouter();
    ASSERT_TRUE(session.setActiveSheet(u"other"_qs));
    EXPECT_EQ(session.activeSheet(), "Other");
    ASSERT_TRUE(session.setActiveSheet(u"Staff"_qs));
    EXPECT_EQ(session.layouter(), staff) << "the cached layout comes back";
    session.setCacheEnabled(false);
    ASSERT_TRUE(session.setActiveSheet(u"Other"_qs));
    ASSERT_TRUE(session.setActiveSheet(u"Staff"_qs));
    EXPECT_NE(session.layouter(), nullptr);
    EXPECT_EQ(session.setActiveSheet(u"Nope"_qs).code, SessionResult::NoSuchSheet);
}
