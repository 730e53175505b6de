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
        during.push_back(session.setParameter(u"Anything"_qs, u"1"_qs));
    };
    LaidOutReport report;
    ASSERT_TRUE(session.layoutSheet(QString(), report));
    ASSERT_EQ(during.size(), 6u);
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

namespace {

const QByteArray ParameterTemplate = R"(<report version="1">
  <parameter name="Title" default="Staff"/>
  <parameter name="MinSalary" type="number" default="15"/>
  <parameter name="Until" type="date"/>
  <sheet name="S"><page width="100" height="40" margins="5"/>
    <master height="5"><cell width="90">[Param.Title]|[Param.MinSalary]|[Param.Until]</cell></master>
    <detail detail="Detail" height="5">
      <cell width="50">[if(Detail.Salary >= Param.MinSalary, "big", "small")]</cell></detail>
  </sheet>
</report>)";

struct ParameterRecorder : ReportSessionObserver {
    int pagesReplacedCount = 0;
    void pagesReplaced() override { ++pagesReplacedCount; }
};

class SessionParameterTest : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_TRUE(writeFile(parameterTemplatePath(), ParameterTemplate));
    }
    QString parameterTemplatePath() const { return folder.filePath(u"params.vlt"_qs); }
    static QString valueText(const ReportSession& session, const QString& name)
    {
        const std::optional<ExprValue> value = session.parameter(name);
        return value ? value->toText() : u"<none>"_qs;
    }
    static QString paperText(ReportSession& session)
    {
        LaidOutReport report;
        EXPECT_TRUE(session.layoutSheet(QString(), report));
        return report.pages.empty() ? QString() : report.pageText(0);
    }
};

} // namespace

TEST_F(SessionParameterTest, DefaultsComeFirstAndASetValueChangesTheLaidOutText)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    const std::vector<SessionParameter> declared = session.parameters();
    ASSERT_EQ(declared.size(), 3u);
    EXPECT_EQ(declared[0].name, "Title");
    EXPECT_EQ(declared[1].type, ParameterType::Number);
    EXPECT_EQ(declared[2].type, ParameterType::Date);
    EXPECT_EQ(declared[2].value.type, ExprValue::Empty) << "no default: empty until set";
    EXPECT_EQ(paperText(session), "Staff|15|\nsmall\nbig");

    // Each row sets one parameter (on top of the rows before it) and shows what the page reads then.
    const struct {
        const char16_t* name;
        const char16_t* text;
        const char* stored;
        const char* page;
    } cases[] = {
        {u"Title", u"Payroll 2025", "Payroll 2025", "Payroll 2025|15|\nsmall\nbig"},
        {u"minsalary", u"5", "5", "Payroll 2025|5|\nbig\nbig"},
        {u"MinSalary", u" 25.5 ", "25.5", "Payroll 2025|25.5|\nsmall\nsmall"},
        {u"MINSALARY", u"-1e3", "-1000", "Payroll 2025|-1000|\nbig\nbig"},
        {u"Until", u"2025-02-28", "2025-02-28", "Payroll 2025|-1000|2025-02-28\nbig\nbig"},
        {u"Title", u"", "", "|-1000|2025-02-28\nbig\nbig"},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf16(c.name), text = QString::fromUtf16(c.text);
        const SessionResult set = session.setParameter(name, text);
        EXPECT_TRUE(set) << set.message.toStdString();
        EXPECT_EQ(valueText(session, name), c.stored) << name.toStdString();
        EXPECT_EQ(paperText(session), c.page) << name.toStdString() << "=" << text.toStdString();
    }
}

TEST_F(SessionParameterTest, RefusalsNameParameterAndValueAndChangeNothing)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    const SessionResult noTemplate = session.setParameter(u"Title"_qs, u"x"_qs);
    EXPECT_EQ(noTemplate.code, SessionResult::Refused);
    EXPECT_EQ(noTemplate.message, "The template has no parameter \"Title\"");
    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));

    const struct {
        const char16_t* name;
        const char16_t* text;
        const char* message;
    } cases[] = {
        {u"Nope", u"1", "The template has no parameter \"Nope\""},
        {u"Param.Title", u"x", "The template has no parameter \"Param.Title\""},
        {u"", u"x", "The template has no parameter \"\""},
        {u"MinSalary", u"12,5", "Parameter \"MinSalary\" is a number: \"12,5\" is not a number"},
        {u"minsalary", u"", "Parameter \"MinSalary\" is a number: \"\" is not a number"},
        {u"MinSalary", u"nan", "Parameter \"MinSalary\" is a number: \"nan\" is not a number"},
        {u"MinSalary", u"1e999", "Parameter \"MinSalary\" is a number: \"1e999\" is not a number"},
        {u"Until", u"31.12", "Parameter \"Until\" is a date: \"31.12\" is not a date in the form yyyy-MM-dd"},
        {u"UNTIL", u"2025-02-30", "Parameter \"Until\" is a date: \"2025-02-30\" is not a date in the form yyyy-MM-dd"},
    };
    for (const auto& c : cases) {
        const SessionResult refused = session.setParameter(QString::fromUtf16(c.name), QString::fromUtf16(c.text));
        EXPECT_EQ(refused.code, SessionResult::Refused) << c.message;
        EXPECT_EQ(refused.message, c.message);
    }
    EXPECT_EQ(valueText(session, u"MinSalary"_qs), "15");
    EXPECT_EQ(valueText(session, u"Until"_qs), "");
    EXPECT_EQ(valueText(session, u"Nope"_qs), "<none>");
}

TEST_F(SessionParameterTest, ValuesStayAcrossDataAndGoBackToDefaultsWithATemplate)
{
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));
    ASSERT_TRUE(session.setParameter(u"Title"_qs, u"Kept"_qs));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    ASSERT_TRUE(session.clearData());
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    EXPECT_EQ(valueText(session, u"Title"_qs), "Kept");
    EXPECT_EQ(paperText(session), "Kept|15|\nsmall\nbig");

    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));
    EXPECT_EQ(valueText(session, u"Title"_qs), "Staff") << "another template starts from its defaults";
    ASSERT_TRUE(session.openTemplate(templatePath()));
    EXPECT_TRUE(session.parameters().empty());
    EXPECT_EQ(valueText(session, u"Title"_qs), "<none>");
    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));
    ASSERT_TRUE(session.closeTemplate());
    EXPECT_TRUE(session.parameters().empty());
}

TEST_F(SessionParameterTest, ASetValueLaysTheViewsSheetOutAnewAndTellsTheView)
{
    ParameterRecorder view;
    ReportSession session(&view);
    ASSERT_TRUE(session.openTemplate(parameterTemplatePath()));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    ASSERT_NE(session.layouter(), nullptr);
    const int before = view.pagesReplacedCount;
    ASSERT_TRUE(session.setParameter(u"Title"_qs, u"New"_qs));
    EXPECT_EQ(view.pagesReplacedCount, before + 1);
    ASSERT_NE(session.layouter(), nullptr);
    ASSERT_GT(session.layouter()->pageCount(), 0);
    const LaidOutPage page = session.layouter()->page(0);
    ASSERT_FALSE(page.items.empty());
    EXPECT_EQ(page.items.front().text, "New|15|");
    EXPECT_TRUE(session.setParameter(u"Title"_qs, QString(1 << 20, u'x'))) << "a text parameter takes any text";
}

TEST_F(SessionTest, AStreamedSheetTellsEachPromptOnceAndDrawsOnlyInThePassThatPrints)
{
    const QString path = folder.filePath(u"codes.vlt"_qs);
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><sheet name="S"><page width="100" height="40" margins="5"/>
      <detail detail="Detail" height="12"><cell width="30">[Detail.Gone]</cell>
        <barcode x="40" width="40" height="10" type="ean13">[Detail.Salary]</barcode>
        <barcode x="85" width="10" height="10" type="qrcode">[Detail.Salary]</barcode></detail>
    </sheet></report>)"));
    ReportSession session(&recorder, ReportSession::LayoutMode::OnDemand);
    ASSERT_TRUE(session.openTemplate(path));
    ASSERT_TRUE(session.loadData(std::string_view(Data)));
    struct Collect : PageSink {
        int count = -1;
        std::vector<LaidOutPage> pages;
        bool begin(const TemplateSheet&, int pageCount) override { return (count = pageCount), true; }
        bool page(LaidOutPage& page, int) override { return pages.push_back(page), true; }
    } sink;
    ASSERT_TRUE(session.streamSheet(QString(), sink));
    ASSERT_EQ(sink.count, 1);
    ASSERT_EQ(sink.pages.size(), 1u);
    int codes = 0;
    for (const PageItem& item : sink.pages[0].items)
        if (item.cell && item.cell->barcode) {
            ASSERT_TRUE(item.graphic) << "the printing pass makes every graphic";
            codes += item.graphic->kind() == PageGraphic::Kind::Barcode;
        }
    EXPECT_EQ(codes, 2) << "the QR codes of both rows";
    std::vector<QString> prompts;
    for (const QString& line : recorder.told)
        if (line.startsWith(u"prompt: "))
            prompts.push_back(line);
    ASSERT_EQ(prompts.size(), 3u) << "the field and each refused EAN-13 once, not once per pass";
    EXPECT_EQ(std::count_if(prompts.begin(), prompts.end(), [](const QString& p) { return p.contains(u"Detail.Gone"); }), 1);
}
