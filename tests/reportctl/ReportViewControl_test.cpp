// The real plug-in, created by class id through the registry in the run folder.
#include "ReportDialogHook.h"
#include "ReportLayout.h"
#include "ReportViewIntf.h"
#include "TestSupport.h"

#include "BStr.h"
#include "ClassRegistry.h"
#include "ComObject.h"
#include "ConnectionPoint.h"
#include "ErrorInfo.h"
#include "OleInterfaces.h"
#include "Variant.h"
#include "WidgetApplication.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringEncoder>
#include <QWheelEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
#include <QFile>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <dlfcn.h>
#include <sys/stat.h>

#include <functional>

using namespace vl;

namespace {

QString qtext(BSTR value)
{
    const auto view = bstrView(value);
    return QString::fromUtf16(view.data(), static_cast<qsizetype>(view.size()));
}

BStr bstr(const QString& text)
{
    return BStr(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

// The description of the thread's error info (taking it), or "<none>".
QString takeErrorDescription(QString* source = nullptr)
{
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, &error) != S_OK || !error)
        return QStringLiteral("<none>");
    BStr description, errorSource;
    error->GetDescription(&description);
    error->GetSource(&errorSource);
    if (source)
        *source = qtext(errorSource.get());
    return qtext(description.get());
}

template <class Fn>
Fn slot(void* object, int index)
{
    return reinterpret_cast<Fn>((*reinterpret_cast<void***>(object))[index]);
}

const char* const SampleData
    = "<?xml version=\"1.0\" encoding=\"GB2312\"?><DocumentData><Master>"
      "<Row DeptNo=\"1\" DeptName=\"销售部\" DeptCode=\"01\" PathName=\"总公司/销售部\"/>"
      "<Row DeptNo=\"2\" DeptName=\"研发部\" DeptCode=\"02\" PathName=\"总公司/研发部\"/></Master>"
      "<Detail><Row __MasterIdx=\"0\" EmpNo=\"1001\" EmpName=\"张三\" Sex=\"男\" Birthday=\"1980-01-02\" Salary=\"5000\"/>"
      "<Row __MasterIdx=\"0\" EmpNo=\"1002\" EmpName=\"李四\" Sex=\"女\" Birthday=\"1985-03-04\" Salary=\"6000\"/>"
      "<Row __MasterIdx=\"1\" EmpNo=\"2001\" EmpName=\"王五\" Sex=\"男\" Birthday=\"1990-05-06\" Salary=\"7000\"/>"
      "</Detail></DocumentData>";

struct DialogCall {
    int kind;
    int previewPages;
};

struct DialogHookState {
    int answer = 0;
    QString pdfFile;
    int fromPage = 0, toPage = 0; // a page range the user chose; 0: all pages
    std::vector<DialogCall> calls;
};

int recordingHook(int kind, QDialog* dialog, QPrinter* printer, void* context)
{
    auto* state = static_cast<DialogHookState*>(context);
    int pages = -1;
    if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) {
        preview->updatePreview();
        pages = preview->pageCount();
    }
    if (!state->pdfFile.isEmpty() && printer) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(state->pdfFile);
    }
    if (state->fromPage > 0 && printer) {
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(state->fromPage, state->toPage);
    }
    state->calls.push_back({kind, pages});
    return state->answer;
}

// Records events; anything but the two data-load events is unexpected here.
class EventSink final : public ComObject<IDispatch> {
public:
    std::vector<std::pair<DISPID, QString>> events;
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        EXPECT_EQ(flags, DISPATCH_METHOD);
        if (id == ReportViewEventId::OnDataLoadFinished) {
            EXPECT_EQ(params->cArgs, 0u);
            events.emplace_back(id, QString());
        } else if (id == ReportViewEventId::OnDataLoadError) {
            EXPECT_EQ(params->cArgs, 1u);
            EXPECT_EQ(params->rgvarg[0].vt, VT_BSTR);
            events.emplace_back(id, qtext(params->rgvarg[0].bstrVal));
            SetErrorInfo(0, nullptr); // a sink that clobbers the thread's error info must not hide the failure
        } else {
            ADD_FAILURE() << "unexpected event " << id;
        }
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IDispatch || iid == DIID_IReportViewEvents ? static_cast<IDispatch*>(this) : nullptr;
    }
};

class NotifySink final : public ComObject<IPropertyNotifySink> {
public:
    std::vector<DISPID> changed;
    HRESULT OnChanged(DISPID id) override
    {
        changed.push_back(id);
        return S_OK;
    }
    HRESULT OnRequestEdit(DISPID) override { return S_OK; }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IPropertyNotifySink ? static_cast<IPropertyNotifySink*>(this) : nullptr;
    }
};

// A client site that hosts in place in `parent`; it records the protocol and fails on the unexpected.
class FakeSite final : public ComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit FakeSite(QWidget* parent) : m_parent(parent) {}
    std::vector<std::string> calls;

    HRESULT SaveObject() override { return unexpected("SaveObject"); }
    HRESULT GetMoniker(DWORD, DWORD, IMoniker**) override { return unexpected("GetMoniker"); }
    HRESULT GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(BOOL) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return unexpected("RequestNewObjectLayout"); }
    HRESULT GetWindow(HWND* window) override
    {
        calls.push_back("GetWindow");
        *window = m_parent;
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return unexpected("ContextSensitiveHelp"); }
    HRESULT CanInPlaceActivate() override
    {
        calls.push_back("CanInPlaceActivate");
        return S_OK;
    }
    HRESULT OnInPlaceActivate() override
    {
        calls.push_back("OnInPlaceActivate");
        return S_OK;
    }
    HRESULT OnUIActivate() override
    {
        calls.push_back("OnUIActivate");
        return S_OK;
    }
    HRESULT GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT pos, LPRECT clip,
                             OLEINPLACEFRAMEINFO*) override
    {
        calls.push_back("GetWindowContext");
        *frame = nullptr;
        *document = nullptr;
        *pos = RECT {0, 0, 10, 10};
        *clip = *pos;
        return S_OK;
    }
    HRESULT Scroll(SIZE) override { return unexpected("Scroll"); }
    HRESULT OnUIDeactivate(BOOL) override
    {
        calls.push_back("OnUIDeactivate");
        return S_OK;
    }
    HRESULT OnInPlaceDeactivate() override
    {
        calls.push_back("OnInPlaceDeactivate");
        return S_OK;
    }
    HRESULT DiscardUndoState() override { return unexpected("DiscardUndoState"); }
    HRESULT DeactivateAndUndo() override { return unexpected("DeactivateAndUndo"); }
    HRESULT OnPosRectChange(LPCRECT) override { return unexpected("OnPosRectChange"); }

protected:
    void* interfaceFor(REFIID iid) override
    {
        if (iid == IID_IOleClientSite)
            return static_cast<IOleClientSite*>(this);
        if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
            return static_cast<IOleInPlaceSite*>(this);
        return nullptr; // no IDispatch: ambient properties are simply not answered
    }

private:
    HRESULT unexpected(const char* name)
    {
        ADD_FAILURE() << "unexpected site call " << name;
        return E_NOTIMPL;
    }
    QWidget* m_parent;
};

class RecordingSink;

class ReportViewControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vl::test::ensureWidgetApplication("reportctl_tests"); }

    void SetUp() override
    {
        ASSERT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
        setClassRegistryFolder(VL_RUN_DIR);
        ASSERT_EQ(CoCreateInstance(CLSID_ReportView, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                                   m_object.voidOut()),
                  S_OK)
            << lastClassLoadError();
        ASSERT_EQ(m_object.query(IID_IReportView, m_view), S_OK);
        void* module = dlopen(VL_RUN_DIR "/vlreportctl.so", RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(module, nullptr);
        m_setHook = reinterpret_cast<decltype(m_setHook)>(dlsym(module, "VlReportCtlSetDialogHook"));
        dlclose(module);
        ASSERT_NE(m_setHook, nullptr);
        m_setHook(recordingHook, &m_dialogs);
        SetErrorInfo(0, nullptr);
    }

    void TearDown() override
    {
        if (m_setHook)
            m_setHook(nullptr, nullptr);
        m_view.reset();
        m_object.reset();
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(liveObjectCount(), 0);
        CoUninitialize();
    }

    // A recording sink connected to the control's events; the test disconnects it by `cookie`.
    ComPtr<RecordingSink> connectEvents(DWORD& cookie);
    ComPtr<IReportData> data()
    {
        ComPtr<IReportData> result;
        EXPECT_EQ(m_view->get_ReportData(&result), S_OK);
        return result;
    }
    ComPtr<IReportDocument> document()
    {
        ComPtr<IReportDocument> result;
        EXPECT_EQ(m_view->get_ReportDocument(&result), S_OK);
        return result;
    }
    ComPtr<IReportPrinter> printer()
    {
        ComPtr<IReportPrinter> result;
        EXPECT_EQ(m_view->get_ReportPrinter(&result), S_OK);
        return result;
    }
    // The sample template with the sample's data document loaded.
    void openSample()
    {
        ASSERT_EQ(document()->OpenFile(BStr(u"" VL_RUN_DIR "/test.vld").get()), S_OK);
        ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    }
    // The salary of the first employee of the first department, as the data object reads it.
    HRESULT firstSalary(BSTR* value)
    {
        return data()->get_Value(BStr(u"Detail").get(), 0, 0, BStr(u"Salary").get(), value);
    }
    HRESULT invokeGet(DISPID id, Variant& result, EXCEPINFO* info = nullptr)
    {
        DISPPARAMS none {nullptr, nullptr, 0, 0};
        return m_view->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, info, nullptr);
    }
    HRESULT invokePut(DISPID id, Variant value, EXCEPINFO* info = nullptr)
    {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params {value.ptr(), &named, 1, 1};
        return m_view->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, info, nullptr);
    }

    ComPtr<IOleObject> m_object;
    ComPtr<IReportView> m_view;
    DialogHookState m_dialogs;
    void (*m_setHook)(VlReportDialogHook, void*) = nullptr;
};

} // namespace

TEST_F(ReportViewControlTest, HostSlotsReachTheSubObjectsAndTheirOperations)
{
    using Read = HRESULT (*)(void*, void**);
    void* document = nullptr;
    void* dataObject = nullptr;
    void* printerObject = nullptr;
    ASSERT_EQ(slot<Read>(m_view.get(), 39)(m_view.get(), &document), S_OK);
    ASSERT_EQ(slot<Read>(m_view.get(), 40)(m_view.get(), &dataObject), S_OK);
    ASSERT_EQ(slot<Read>(m_view.get(), 41)(m_view.get(), &printerObject), S_OK);
    auto doc = ComPtr<IReportDocument>::adopt(static_cast<IReportDocument*>(document));
    auto dat = ComPtr<IReportData>::adopt(static_cast<IReportData*>(dataObject));
    auto prn = ComPtr<IReportPrinter>::adopt(static_cast<IReportPrinter*>(printerObject));
    for (auto [object, iid] : {std::pair<IUnknown*, IID>{doc.get(), IID_IReportDocument}, {dat.get(), IID_IReportData},
                               {prn.get(), IID_IReportPrinter}}) {
        ComPtr<IUnknown> same;
        ASSERT_EQ(object->QueryInterface(iid, same.voidOut()), S_OK);
        EXPECT_EQ(same.get(), object) << "a read answers the interface itself";
    }

    const BStr missing = bstr(QStringLiteral(VL_RUN_DIR "/no-such.vld"));
    EXPECT_LT(slot<HRESULT (*)(void*, BSTR)>(doc.get(), 7)(doc.get(), missing.get()), 0);
    EXPECT_EQ(takeErrorDescription(), QStringLiteral("Template file \"" VL_RUN_DIR "/no-such.vld\" not found"));

    const BStr xml = bstr(QString::fromUtf8(SampleData));
    EXPECT_EQ(slot<HRESULT (*)(void*, BSTR, int32_t)>(dat.get(), 10)(dat.get(), xml.get(), 0), S_OK);
    int32_t rows = -1;
    EXPECT_EQ(dat->get_RowCount(BStr(u"Detail").get(), -1, &rows), S_OK);
    EXPECT_EQ(rows, 3);

    const BStr sheet = bstr(QStringLiteral("Sheet1"));
    const BStr path = bstr(QStringLiteral(VL_RUN_DIR "/test.vld"));
    ASSERT_EQ(doc->OpenFile(path.get()), S_OK) << takeErrorDescription().toStdString();
    EXPECT_EQ(slot<HRESULT (*)(void*, BSTR)>(prn.get(), 9)(prn.get(), sheet.get()), S_OK);
    m_dialogs.answer = 0;
    EXPECT_EQ(slot<HRESULT (*)(void*)>(prn.get(), 11)(prn.get()), S_FALSE) << "a cancelled print is no failure";
    EXPECT_EQ(takeErrorDescription(), QStringLiteral("<none>"));
    ASSERT_EQ(m_dialogs.calls.size(), 2u);
    EXPECT_EQ(m_dialogs.calls[0].kind, VlReportPreviewDialog);
    EXPECT_GE(m_dialogs.calls[0].previewPages, 1) << "the preview renders the sheet";
    EXPECT_EQ(m_dialogs.calls[1].kind, VlReportPrintDialog);
}

TEST_F(ReportViewControlTest, PropertyReadsAnswerExactlyTheirType)
{
    namespace D = ReportViewDispId;
    const std::pair<DISPID, VARTYPE> table[] = {
        {D::BevelInner, VT_I4}, {D::BevelOuter, VT_I4}, {D::BorderStyle, VT_I4}, {D::Ctl3D, VT_BOOL},
        {D::Enabled, VT_BOOL}, {D::Locked, VT_BOOL}, {D::Visible, VT_BOOL}, {D::ViewMode, VT_I4},
        {D::AllowUnDo, VT_BOOL}, {D::ShowSheetTab, VT_BOOL}, {D::ShowNavigator, VT_BOOL}, {D::ShowPageBorder, VT_BOOL},
        {D::SheetTabPosition, VT_I4}, {D::Scale, VT_R8}, {D::CustomPrompt, VT_BOOL}, {D::WorkSpaceColor, VT_I4},
        {D::PaperColor, VT_I4}, {D::RuleColor, VT_I4}, {D::RuleOutSideColor, VT_I4}, {D::RuleSelectedColor, VT_I4},
        {D::SheetTabBackColor, VT_I4}, {D::SheetTabActiveColor, VT_I4}, {D::SheetTabInactiveColor, VT_I4},
        {D::SheetTabActiveTextColor, VT_I4}, {D::SheetTabInactiveTextColor, VT_I4}, {D::SheetBorderColor, VT_I4},
        {D::NavBackColor, VT_I4}, {D::ShowContextMenu, VT_BOOL}, {D::Inputable, VT_BOOL}, {D::Asynchronous, VT_BOOL},
        {D::DocSrc, VT_BSTR}, {D::DataSrc, VT_BSTR}, {D::CacheEnabled, VT_BOOL}};
    EXPECT_EQ(std::size(table), 33u);
    for (auto [id, type] : table) {
        Variant value;
        EXPECT_EQ(invokeGet(id, value), S_OK) << id;
        EXPECT_EQ(value.type(), type) << id;
    }
    Variant scale;
    ASSERT_EQ(invokeGet(D::Scale, scale), S_OK);
    EXPECT_EQ(scale->dblVal, 1.0);
    Variant enabled;
    ASSERT_EQ(invokeGet(D::Enabled, enabled), S_OK);
    EXPECT_EQ(enabled->boolVal, VARIANT_TRUE);
}

TEST_F(ReportViewControlTest, PropertyWritesAndDispatchFailures)
{
    namespace D = ReportViewDispId;
    EXPECT_EQ(invokePut(D::Scale, Variant::fromString(u"1.5")), S_OK) << "values are converted to the type";
    double scale = 0;
    EXPECT_EQ(m_view->get_Scale(&scale), S_OK);
    EXPECT_EQ(scale, 1.5);
    EXPECT_EQ(invokePut(D::Visible, Variant::fromBool(false)), S_OK);
    VARIANT_BOOL visible = VARIANT_TRUE;
    EXPECT_EQ(m_view->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, VARIANT_FALSE);

    ExcepInfo info;
    EXPECT_EQ(invokePut(D::Scale, Variant::fromDouble(0.0), &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info->scode, E_INVALIDARG);
    EXPECT_EQ(qtext(info->bstrSource), "ReportView");
    EXPECT_TRUE(qtext(info->bstrDescription).startsWith("Scale 0 is outside")) << qtext(info->bstrDescription).toStdString();

    Variant ignored;
    for (DISPID unknown : {207, 211, 214, 248, 0})
        EXPECT_EQ(invokeGet(unknown, ignored), DISP_E_MEMBERNOTFOUND) << unknown;
    Variant value = Variant::fromInt32(3);
    DISPPARAMS unnamed {value.ptr(), nullptr, 1, 0};
    EXPECT_EQ(m_view->Invoke(D::BevelInner, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(invokePut(D::PageCount, Variant::fromInt32(3)), DISP_E_MEMBERNOTFOUND) << "read-only";
}

TEST_F(ReportViewControlTest, EnabledChangeIsNotifiedOnce)
{
    auto sink = ComPtr<NotifySink>::adopt(new NotifySink);
    DWORD cookie = 0;
    ASSERT_EQ(connectSink(m_view.get(), IID_IPropertyNotifySink, sink.get(), &cookie), S_OK);
    EXPECT_EQ(invokePut(ReportViewDispId::Enabled, Variant::fromBool(false)), S_OK);
    EXPECT_EQ(m_view->put_Enabled(VARIANT_FALSE), S_OK);
    EXPECT_EQ(m_view->put_Enabled(VARIANT_TRUE), S_OK);
    EXPECT_EQ(sink->changed, (std::vector<DISPID>{-514, -514}));
    EXPECT_EQ(disconnectSink(m_view.get(), IID_IPropertyNotifySink, cookie), S_OK);
}

TEST_F(ReportViewControlTest, TemplateFailuresCarryTheReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.vld");
    ASSERT_TRUE(writeFile(path, "<report version=\"1\">\n<sheet name=\"A\">\n</report>\n"));
    auto doc = document();
    EXPECT_EQ(doc->OpenFile(bstr(path).get()), E_FAIL);
    QString source;
    EXPECT_EQ(takeErrorDescription(&source),
              QStringLiteral("Template file \"%1\": Start-end tags mismatch at line 3, column 3").arg(path));
    EXPECT_EQ(source, "ReportView");

    ASSERT_EQ(doc->OpenFile(BStr(u"" VL_RUN_DIR "/test.vld").get()), S_OK);
    int32_t sheets = 0;
    EXPECT_EQ(doc->get_SheetCount(&sheets), S_OK);
    EXPECT_EQ(sheets, 2);
    EXPECT_EQ(printer()->Preview(BStr(u"Sheet9").get()), E_INVALIDARG);
    EXPECT_EQ(takeErrorDescription(), "The template has no sheet \"Sheet9\"");
    EXPECT_TRUE(m_dialogs.calls.empty()) << "no dialog for a sheet that does not exist";
}

TEST_F(ReportViewControlTest, DataLoadBuildsGroupsAndRaisesEvents)
{
    auto sink = ComPtr<EventSink>::adopt(new EventSink);
    DWORD cookie = 0;
    ASSERT_EQ(connectSink(m_view.get(), DIID_IReportViewEvents, sink.get(), &cookie), S_OK);
    auto dat = data();
    ASSERT_EQ(dat->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    struct Group {
        int32_t master;
        int32_t rows;
    };
    for (const Group g : {Group{0, 2}, Group{1, 1}, Group{-1, 3}}) {
        int32_t rows = -1;
        EXPECT_EQ(dat->get_RowCount(BStr(u"detail").get(), g.master, &rows), S_OK);
        EXPECT_EQ(rows, g.rows) << g.master;
    }
    BStr name;
    EXPECT_EQ(dat->get_Value(BStr(u"Detail").get(), 1, 0, BStr(u"EmpName").get(), &name), S_OK);
    EXPECT_EQ(qtext(name.get()), u"王五");
    int32_t pages = 0;
    EXPECT_EQ(m_view->get_PageCount(&pages), S_OK);
    EXPECT_EQ(pages, 1) << "data without template shows in the default layout";

    EXPECT_EQ(dat->LoadXML(BStr(u"<DocumentData><Master><Row a=\"1\"></Master>").get(), 0), E_FAIL);
    const QString expected = "Data document: Start-end tags mismatch at line 1, column 36";
    EXPECT_EQ(takeErrorDescription(), expected);
    ASSERT_EQ(sink->events.size(), 2u);
    EXPECT_EQ(sink->events[0].first, ReportViewEventId::OnDataLoadFinished);
    EXPECT_EQ(sink->events[1], (std::pair<DISPID, QString>(ReportViewEventId::OnDataLoadError, expected)));
    EXPECT_EQ(dat->get_RowCount(BStr(u"Detail").get(), -1, &pages), S_OK);
    EXPECT_EQ(pages, 3) << "a refused document keeps the loaded data";
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, ExportedPdfHoldsTheChineseText)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("report.pdf");
    ASSERT_NO_FATAL_FAILURE(openSample());
    ASSERT_EQ(printer()->ExportPDF(BStr(u"Sheet1").get(), bstr(pdf).get()), S_OK) << takeErrorDescription().toStdString();
    QProcess process;
    process.start("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* expected : {"销售部", "研发部", "张三", "王五", "部门员工名单", "第 1 页，共 1 页"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();

    m_dialogs.answer = 1;
    m_dialogs.pdfFile = dir.filePath("printed.pdf");
    EXPECT_EQ(printer()->Print(), S_OK);
    EXPECT_GT(QFile(m_dialogs.pdfFile).size(), 0) << "print goes to the printer the dialog chose";
}

TEST_F(ReportViewControlTest, InPlaceActivationAndClose)
{
    QWidget parent;
    parent.resize(400, 300);
    auto site = ComPtr<FakeSite>::adopt(new FakeSite(&parent));
    DWORD status = 0;
    EXPECT_EQ(m_object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_RECOMPOSEONRESIZE
                          | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE);
    SIZEL extent {};
    EXPECT_EQ(m_object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 20000);
    EXPECT_EQ(extent.cy, 15000);
    ASSERT_EQ(m_object->SetClientSite(static_cast<IOleClientSite*>(site.get())), S_OK);

    const RECT rect {5, 6, 205, 156};
    ASSERT_EQ(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site.get()), 0, &parent, &rect),
              S_OK)
        << takeErrorDescription().toStdString();
    EXPECT_EQ(site->calls, (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindowContext"}));
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(m_object.query(IID_IOleInPlaceObject, inPlace), S_OK);
    HWND window = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    ASSERT_NE(window, nullptr);
    QPointer<QWidget> widget(window);
    EXPECT_EQ(widget->parentWidget(), &parent);
    EXPECT_EQ(widget->geometry(), QRect(5, 6, 200, 150));
    EXPECT_FALSE(widget->isHidden());

    const RECT moved {0, 0, 300, 200};
    EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    EXPECT_EQ(widget->geometry(), QRect(0, 0, 300, 200));

    site->calls.clear();
    EXPECT_EQ(m_object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_TRUE(widget.isNull()) << "closing destroys the control's window";
    EXPECT_EQ(site->calls, (std::vector<std::string>{"OnInPlaceDeactivate"}));
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);
    inPlace.reset();
    EXPECT_EQ(m_object->SetClientSite(nullptr), S_OK);
}

TEST_F(ReportViewControlTest, PersistedPropertiesRoundTrip)
{
    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(m_object.query(IID_IPersistStreamInit, persist), S_OK);
    ASSERT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(m_view->put_Scale(2.5), S_OK);
    EXPECT_EQ(m_view->put_DocSrc(BStr(u"a<b>&\"c\"").get()), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    ComPtr<IStream> stream = createMemoryStream();
    ASSERT_EQ(persist->Save(stream.get(), TRUE), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    ASSERT_EQ(persist->InitNew(), S_OK);
    LARGE_INTEGER start {0};
    ASSERT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(persist->Load(stream.get()), S_OK);
    double scale = 0;
    EXPECT_EQ(m_view->get_Scale(&scale), S_OK);
    EXPECT_EQ(scale, 2.5);
    BStr docSrc;
    EXPECT_EQ(m_view->get_DocSrc(&docSrc), S_OK);
    EXPECT_EQ(qtext(docSrc.get()), "a<b>&\"c\"");
}

namespace {

QString argText(const VARIANT& value)
{
    const VARIANT* v = &value;
    if (v->vt == (VT_VARIANT | VT_BYREF))
        v = v->pvarVal;
    if (v->vt == VT_I4)
        return QString::number(v->lVal);
    if (v->vt == VT_BSTR)
        return qtext(v->bstrVal);
    if (v->vt == VT_R8)
        return QString::number(v->dblVal);
    return QStringLiteral("<vt %1>").arg(v->vt);
}

// Records every event with its arguments in declaration order; answers display values and functions.
class RecordingSink final : public ComObject<IDispatch> {
public:
    std::vector<std::pair<DISPID, QStringList>> events;
    QString displayFor; // element whose display value is bracketed
    std::function<void(DISPID)> during; // runs inside the event call, as a host's handler would
    bool refuseResize = false;
    // Each custom function argument as the host reads it: variant type, the truth of a VT_BOOL, ArgText.
    QStringList customArguments;

    QStringList argsOf(DISPID id) const
    {
        QStringList all;
        for (const auto& [event, args] : events)
            if (event == id)
                all << args.join(u'|');
        return all;
    }

    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        QStringList args;
        for (UINT i = params->cArgs; i-- > 0;) {
            if (params->rgvarg[i].vt != VT_DISPATCH)
                args << argText(params->rgvarg[i]);
        }
        if (id == ReportViewEventId::OnCustomFunctionExecute) {
            EXPECT_EQ(params->cArgs, 1u);
            EXPECT_EQ(params->rgvarg[0].vt, VT_DISPATCH);
            ComPtr<ICustomFunction> function;
            EXPECT_EQ(params->rgvarg[0].pdispVal->QueryInterface(IID_ICustomFunction, function.voidOut()), S_OK);
            BStr name;
            int32_t count = 0;
            function->get_Name(&name);
            function->get_ArgCount(&count);
            args << qtext(name.get()) << QString::number(count);
            double product = 1;
            for (int32_t i = 0; i < count; ++i) {
                Variant value;
                EXPECT_EQ(function->get_Arg(i, &value), S_OK);
                double number = 0;
                EXPECT_EQ(value.toDouble(number), S_OK);
                product *= number;
                BStr argText;
                EXPECT_EQ(function->get_ArgText(i, &argText), S_OK);
                const QString truth = value.type() != VT_BOOL ? QString()
                    : value.get().boolVal == VARIANT_TRUE   ? u"TRUE"_qs
                    : value.get().boolVal == VARIANT_FALSE  ? u"FALSE"_qs
                                                            : u"BAD"_qs;
                customArguments << u"%1:%2:%3"_qs.arg(value.type()).arg(truth, qtext(argText.get()));
            }
            Variant missing;
            EXPECT_EQ(function->get_Arg(count, &missing), E_INVALIDARG);
            if (qtext(name.get()) == u"Bonus") {
                Variant result = Variant::fromDouble(product);
                EXPECT_EQ(function->put_Result(result.ptr()), S_OK);
            }
        }
        if (id == ReportViewEventId::OnCanResize && params->cArgs == 3) {
            args = QStringList{QString::number(*params->rgvarg[2].plVal), QString::number(*params->rgvarg[1].plVal)};
            *params->rgvarg[2].plVal = 333; // the host narrows the control
            if (refuseResize)
                *params->rgvarg[0].pboolVal = VARIANT_FALSE;
        }
        if (id == ReportViewEventId::OnGetDisplayValue && params->cArgs == 3 && !displayFor.isEmpty() && args[0] == displayFor) {
            VARIANT* display = params->rgvarg[0].pvarVal;
            const QString shown = QStringLiteral("<%1>").arg(args[1]);
            VariantClear(display);
            display->vt = VT_BSTR;
            display->bstrVal = bstr(shown).release();
        }
        events.emplace_back(id, args);
        if (during)
            during(id);
        return S_OK;
    }

protected:
    void* interfaceFor(REFIID iid) override
    {
        return iid == IID_IDispatch || iid == DIID_IReportViewEvents ? static_cast<IDispatch*>(this) : nullptr;
    }
};

QString pdfText(const QString& pdf)
{
    QProcess process;
    process.start("pdftotext", {"-enc", "UTF-8", "-layout", pdf, "-"});
    EXPECT_TRUE(process.waitForFinished(30000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The control's window in `parent`, activated in place through a fake site.
class ActiveControl {
public:
    ActiveControl(IOleObject* object, QSize size) : m_parent(new QWidget)
    {
        m_parent->resize(size);
        m_site = ComPtr<FakeSite>::adopt(new FakeSite(m_parent.get()));
        EXPECT_EQ(object->SetClientSite(static_cast<IOleClientSite*>(m_site.get())), S_OK);
        const RECT rect {0, 0, size.width(), size.height()};
        EXPECT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(m_site.get()), 0,
                                 m_parent.get(), &rect),
                  S_OK);
        ComPtr<IOleInPlaceObject> inPlace;
        EXPECT_EQ(ComPtr<IOleObject>(object).query(IID_IOleInPlaceObject, inPlace), S_OK);
        HWND window = nullptr;
        inPlace->GetWindow(&window);
        m_window = window;
        m_parent->show();
        m_object = ComPtr<IOleObject>(object);
    }
    ~ActiveControl()
    {
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
    }
    QWidget* window() const { return m_window; }
    QWidget* viewport() const
    {
        auto* area = m_window->findChild<QAbstractScrollArea*>();
        return area ? area->viewport() : nullptr;
    }
    QString navigator() const
    {
        for (QLabel* label : m_window->findChildren<QLabel*>())
            if (label->text().startsWith(u"Page "))
                return label->text();
        return {};
    }
    // Where a cell of the first page lies in the viewport at scale 1, scrolled to the top.
    QPoint centreOf(const QRectF& mm) const
    {
        const double ppm = viewport()->logicalDpiX() / 25.4;
        const int documentWidth = static_cast<int>(210 * ppm) + 32;
        const double left = std::max(0, (viewport()->width() - documentWidth) / 2) + 16;
        return QPointF(left + mm.center().x() * ppm, 16 + mm.center().y() * ppm).toPoint();
    }
    void click(QPoint at) const
    {
        QMouseEvent press(QEvent::MouseButtonPress, at, viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &release);
    }

private:
    std::unique_ptr<QWidget> m_parent;
    ComPtr<FakeSite> m_site;
    ComPtr<IOleObject> m_object;
    QWidget* m_window = nullptr;
};

// One key press sent straight to receiver.
void pressKey(QWidget* receiver, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(receiver, &press);
}

// The rectangle of the first item of that element on the first page, as the engine lays the sample out.
QRectF sampleCellRect(const QString& element)
{
    ReportTemplate report;
    EXPECT_TRUE(loadTemplateFile(VL_RUN_DIR "/test.vld", report).ok);
    ReportDataSet data;
    EXPECT_TRUE(parseDataDocument(SampleData, data).ok);
    static LaidOutReport laidOut;
    laidOut = layoutReport(*report.sheet("Sheet1"), data);
    for (const PageItem& item : laidOut.pages[0].items)
        if (item.cell && item.cell->elementName() == element)
            return item.rect;
    ADD_FAILURE() << "no " << element.toStdString();
    return {};
}

// Clicks the first salary on the page, types text into its editor and ends the edit with key.
void editFirstSalary(const ActiveControl& active, const QString& text, Qt::Key key)
{
    active.click(active.centreOf(sampleCellRect("Salary")));
    QLineEdit* editor = active.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    pressKey(editor, key);
}

ComPtr<RecordingSink> ReportViewControlTest::connectEvents(DWORD& cookie)
{
    auto sink = ComPtr<RecordingSink>::adopt(new RecordingSink);
    EXPECT_EQ(connectSink(m_view.get(), DIID_IReportViewEvents, sink.get(), &cookie), S_OK);
    return sink;
}

} // namespace

// 12 000 pages of the tallest paper at 1000 %: far more pixels than int holds. The view must neither
// wrap to a negative height (no scrolling at all) nor overflow while it scrolls to the last page.
TEST_F(ReportViewControlTest, TallReportAtLargestZoomStillScrolls)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tall.vld");
    ASSERT_TRUE(writeFile(path, "<report version=\"1\"><sheet name=\"Sheet1\"><page width=\"210\" height=\"5000\" margins=\"10\"/>"
                                "<master height=\"4900\"><cell x=\"0\" width=\"100\">[Master.n]</cell></master></sheet></report>"));
    QString rows = QStringLiteral("<DocumentData><Master>");
    for (int n = 0; n < 12000; ++n)
        rows += QStringLiteral("<Row n=\"%1\"/>").arg(n);
    rows += QStringLiteral("</Master></DocumentData>");

    ActiveControl active(m_object.get(), QSize(800, 600));
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK) << takeErrorDescription().toStdString();
    ASSERT_EQ(data()->LoadXML(bstr(rows).get(), 0), S_OK) << takeErrorDescription().toStdString();
    ASSERT_EQ(m_view->put_Scale(10.0), S_OK);
    auto* scroll = active.window()->findChild<QAbstractScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    for (int i = 0; i < 100000 && active.navigator().endsWith(u"..."); ++i)
        QApplication::processEvents();
    ASSERT_TRUE(active.navigator().endsWith(u"of 12000")) << active.navigator().toStdString();
    QScrollBar* bar = scroll->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 1000000000);
    bar->setValue(bar->maximum());
    EXPECT_TRUE(active.navigator().startsWith(u"Page ")) << active.navigator().toStdString();
    EXPECT_FALSE(active.navigator().startsWith(u"Page 1 of")) << active.navigator().toStdString();
}

TEST_F(ReportViewControlTest, PdfEmbedsItsFontsAndHoldsTheSampleText)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("sample.pdf");
    ASSERT_NO_FATAL_FAILURE(openSample());
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK) << takeErrorDescription().toStdString();
    const QString text = pdfText(pdf);
    for (const char* expected : {"部门：销售部", "总公司/研发部", "工资小计：11,000.00", "工资总额：18,000.00", "1980-01-02"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();

    QProcess fonts;
    fonts.start("pdffonts", {pdf});
    ASSERT_TRUE(fonts.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(fonts.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2) << "a header and at least one font";
    for (const QString& line : lines.mid(2)) {
        const QStringList columns = line.simplified().split(u' ');
        ASSERT_GE(columns.size(), 6);
        EXPECT_EQ(columns[columns.size() - 5], "yes") << "embedded: " << line.toStdString();
        EXPECT_EQ(columns[columns.size() - 3], "yes") << "with a Unicode map, so text can be selected: " << line.toStdString();
    }

    EXPECT_EQ(printer()->ExportPDF(BStr(u"Sheet9").get(), bstr(pdf).get()), E_INVALIDARG);
    EXPECT_EQ(takeErrorDescription(), "The template has no sheet \"Sheet9\"");
    EXPECT_EQ(document()->put_ActiveSheet(BStr(u"sheet9").get()), E_INVALIDARG);
    EXPECT_EQ(takeErrorDescription(), "The template has no sheet \"sheet9\"");
}

TEST_F(ReportViewControlTest, MissingFieldIsToldOnceThroughOnPrompt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing.vld");
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><sheet name="A"><detail detail="Detail" height="6">
      <cell width="50">[Detail.EmpName]/[Detail.Nickname]</cell></detail></sheet>
      <sheet name="B"><summary height="6"><cell width="50">[Detail.Nickname]</cell></summary></sheet></report>)"));
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    ASSERT_EQ(document()->put_ActiveSheet(BStr(u"B").get()), S_OK);
    ASSERT_EQ(m_view->Refresh(), S_OK);
    const QString pdf = dir.filePath("a.pdf");
    ASSERT_EQ(printer()->ExportPDF(BStr(u"A").get(), bstr(pdf).get()), S_OK);
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnPrompt),
              QStringList{"The data has no field \"Detail.Nickname\"; its cells print empty"});
    EXPECT_TRUE(pdfText(pdf).contains(u"张三/"_qs)) << "the cell prints, the missing field empty";
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, InputsLinksDisplayValuesAndCustomFunctions)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    ActiveControl active(m_object.get(), QSize(900, 700));
    ASSERT_NE(active.viewport(), nullptr);
    ASSERT_NO_FATAL_FAILURE(openSample());
    EXPECT_EQ(active.navigator(), "Page 1 of 1");

    const QPoint salary = active.centreOf(sampleCellRect("Salary"));
    active.click(salary);
    EXPECT_EQ(active.viewport()->findChild<QLineEdit*>(), nullptr) << "not Inputable: no editor";
    ASSERT_EQ(m_view->put_Inputable(VARIANT_TRUE), S_OK);
    active.click(salary);
    QLineEdit* editor = active.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "5000");
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnInputEnter), QStringList{"Salary|0|0"});
    editor->setText("5100");
    pressKey(editor, Qt::Key_Return);
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnInputChanged), QStringList{"Salary|0|0|5000|5100"});
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnInputExit), QStringList{"Salary|0|0"});
    BStr value;
    EXPECT_EQ(firstSalary(&value), S_OK);
    EXPECT_EQ(qtext(value.get()), "5100");

    QTemporaryDir dir;
    const QString pdf = dir.filePath("edited.pdf");
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    EXPECT_TRUE(pdfText(pdf).contains(u"工资小计：11,100.00"_qs)) << "the group total follows the edit";

    pressKey(active.viewport()->parentWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstSalary(&value), S_OK);
    EXPECT_EQ(qtext(value.get()), "5000") << "AllowUnDo takes the edit back";

    active.click(active.centreOf(sampleCellRect("DeptName")));
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnHRefClick), QStringList{"DeptName|1"});

    sink->displayFor = "Salary";
    sink->events.clear();
    const QImage shown = active.window()->grab().toImage();
    EXPECT_FALSE(shown.isNull());
    const QStringList asked = sink->argsOf(ReportViewEventId::OnGetDisplayValue);
    EXPECT_TRUE(asked.contains(u"Salary|5000|5,000.00"_qs)) << asked.join(u", ").toStdString();
    EXPECT_TRUE(asked.contains(u"Detail.EmpName|张三|张三"_qs)) << asked.join(u", ").toStdString();
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    EXPECT_TRUE(pdfText(pdf).contains(u"<5000>"_qs)) << "paper shows what the screen shows";
    sink->displayFor.clear();

    // A function the template does not know goes to the host, which computes it.
    const QString path = dir.filePath("bonus.vld");
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><sheet name="A"><detail detail="Detail" height="6">
      <cell width="80">[Detail.EmpName]=[Bonus(Detail.Salary, 2)]/[Other(1)]</cell></detail></sheet></report>)"));
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK);
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(u"张三=10000/"_qs) && text.contains(u"王五=14000/"_qs)) << text.toStdString();
    EXPECT_TRUE(sink->argsOf(ReportViewEventId::OnCustomFunctionExecute).contains(u"Bonus|2"_qs));
    EXPECT_TRUE(sink->argsOf(ReportViewEventId::OnPrompt).contains(u"The function \"Other\" is not known; its cells print empty"_qs));
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, LargeDataShowsItsFirstPageWhileTheRestIsLaidOut)
{
    ActiveControl active(m_object.get(), QSize(800, 600));
    std::string xml = "<DocumentData><Master><Row DeptName=\"甲\"/><Row DeptName=\"乙\"/></Master><Detail>";
    for (int e = 0; e < 6000; ++e)
        xml += "<Row __MasterIdx=\"" + std::to_string(e / 3000) + "\" EmpNo=\"" + std::to_string(e) + "\"/>";
    xml += "</Detail></DocumentData>";
    ASSERT_EQ(document()->OpenFile(BStr(u"" VL_RUN_DIR "/test.vld").get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromStdString(xml)).get(), 0), S_OK);
    const QString early = active.navigator();
    EXPECT_TRUE(early.startsWith(u"Page 1 of ") && early.endsWith(u"...")) << early.toStdString();
    for (int i = 0; i < 10000 && active.navigator().endsWith(u"..."); ++i)
        QApplication::processEvents();
    const QString late = active.navigator();
    EXPECT_FALSE(late.endsWith(u"...")) << "layout goes on in idle time and ends";
    int32_t pages = 0;
    EXPECT_EQ(m_view->get_PageCount(&pages), S_OK);
    EXPECT_GT(pages, 100);
    EXPECT_EQ(late, QStringLiteral("Page 1 of %1").arg(pages));
    EXPECT_EQ(m_view->put_PageIndex(pages - 1), S_OK);
    EXPECT_EQ(active.navigator(), QStringLiteral("Page %1 of %1").arg(pages));

    // Not asynchronous: the load returns with every page laid out.
    ASSERT_EQ(m_view->put_Asynchronous(VARIANT_FALSE), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromStdString(xml)).get(), 0), S_OK);
    EXPECT_EQ(active.navigator(), QStringLiteral("Page 1 of %1").arg(pages));
}

TEST_F(ReportViewControlTest, EnumerationsTakeTheirValueSetsAndViewFollowsProperties)
{
    struct Enum {
        HRESULT (IReportView::*put)(int32_t);
        HRESULT (IReportView::*get)(int32_t*);
        int32_t start, last;
    };
    const Enum enums[] = {{&IReportView::put_BevelInner, &IReportView::get_BevelInner, rbNone, rbRaised},
                          {&IReportView::put_BevelOuter, &IReportView::get_BevelOuter, rbNone, rbRaised},
                          {&IReportView::put_BorderStyle, &IReportView::get_BorderStyle, rbsNone, rbsSingle},
                          {&IReportView::put_ViewMode, &IReportView::get_ViewMode, rvmPage, rvmContinuous},
                          {&IReportView::put_SheetTabPosition, &IReportView::get_SheetTabPosition, rstBottom, rstTop}};
    for (const Enum& e : enums) {
        int32_t value = -1;
        EXPECT_EQ((m_view.get()->*e.get)(&value), S_OK);
        EXPECT_EQ(value, e.start);
        EXPECT_EQ((m_view.get()->*e.put)(e.last), S_OK);
        EXPECT_EQ((m_view.get()->*e.put)(e.last + 1), E_INVALIDARG);
        EXPECT_EQ((m_view.get()->*e.put)(-1), E_INVALIDARG);
        EXPECT_EQ((m_view.get()->*e.get)(&value), S_OK);
        EXPECT_EQ(value, e.last) << "a refused value leaves the property";
    }
    EXPECT_TRUE(takeErrorDescription().startsWith(u"SheetTabPosition -1 is not between 0 and 1"_qs));

    ActiveControl active(m_object.get(), QSize(800, 600));
    ASSERT_NO_FATAL_FAILURE(openSample());
    auto* scroll = active.window()->findChild<QAbstractScrollArea*>();
    const int height100 = scroll->verticalScrollBar()->maximum();
    ASSERT_EQ(m_view->put_Scale(1.5), S_OK);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), height100 * 14 / 10);
    EXPECT_EQ(m_view->ZoomIn(), S_OK);
    double scale = 0;
    EXPECT_EQ(m_view->get_Scale(&scale), S_OK);
    EXPECT_EQ(scale, 2.0) << "zoom steps through the usual levels";
    QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(active.viewport(), &wheel);
    EXPECT_EQ(m_view->get_Scale(&scale), S_OK);
    EXPECT_EQ(scale, 1.5) << "Ctrl+wheel zooms";

    EXPECT_FALSE(active.navigator().isEmpty());
    ASSERT_EQ(m_view->put_ShowNavigator(VARIANT_FALSE), S_OK);
    for (QLabel* label : active.window()->findChildren<QLabel*>()) {
        if (label->text().startsWith(u"Page ")) {
            EXPECT_FALSE(label->isVisibleTo(active.window()));
        }
    }
    // Sheet tabs: the second tab switches the sheet.
    ASSERT_EQ(m_view->put_SheetTabPosition(rstBottom), S_OK);
    QWidget* tabs = nullptr;
    for (QWidget* child : active.window()->findChildren<QWidget*>())
        if (child->height() == 22 && child->isVisibleTo(active.window()) && !qobject_cast<QAbstractScrollArea*>(child)
            && child->metaObject()->className() == QByteArray("QWidget"))
            tabs = child;
    ASSERT_NE(tabs, nullptr);
    const int tabX = 4 + tabs->fontMetrics().horizontalAdvance("Sheet1") + 24 + 10;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(tabX, 10), tabs->mapToGlobal(QPointF(tabX, 10)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tabs, &press);
    BStr active2;
    EXPECT_EQ(document()->get_ActiveSheet(&active2), S_OK);
    EXPECT_EQ(qtext(active2.get()), "DeptList");
}

TEST_F(ReportViewControlTest, HostDecidesOnResizing)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    ActiveControl active(m_object.get(), QSize(400, 300));
    ComPtr<IOleInPlaceObject> inPlace;
    ASSERT_EQ(m_object.query(IID_IOleInPlaceObject, inPlace), S_OK);
    const RECT larger {0, 0, 500, 350};
    EXPECT_EQ(inPlace->SetObjectRects(&larger, &larger), S_OK);
    EXPECT_EQ(active.window()->size(), QSize(333, 350)) << "the handler's width is taken";
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnCanResize), QStringList{"500|350"});
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnResize).size(), 1);
    sink->refuseResize = true;
    const RECT smaller {0, 0, 200, 100};
    EXPECT_EQ(inPlace->SetObjectRects(&smaller, &smaller), S_OK);
    EXPECT_EQ(active.window()->size(), QSize(333, 350)) << "a refused resize keeps the size";
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnResize).size(), 1);
    inPlace.reset();
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, PrintHonoursThePageRangeOfTheDialog)
{
    std::string xml = "<DocumentData><Master><Row DeptName=\"甲\"/></Master><Detail>";
    for (int e = 0; e < 200; ++e)
        xml += "<Row __MasterIdx=\"0\" EmpNo=\"E" + std::to_string(e) + "\"/>";
    xml += "</Detail></DocumentData>";
    ASSERT_EQ(document()->OpenFile(BStr(u"" VL_RUN_DIR "/test.vld").get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromStdString(xml)).get(), 0), S_OK);
    int32_t pages = 0;
    ASSERT_EQ(m_view->get_PageCount(&pages), S_OK);
    ASSERT_GE(pages, 4);
    QTemporaryDir dir;
    m_dialogs.answer = 1;
    m_dialogs.pdfFile = dir.filePath("range.pdf");
    m_dialogs.fromPage = 2;
    m_dialogs.toPage = 3;
    ASSERT_EQ(printer()->Print(), S_OK);
    const QString text = pdfText(m_dialogs.pdfFile);
    EXPECT_EQ(text.count(u'\f'), 2) << "two pages";
    EXPECT_TRUE(text.contains(QStringLiteral("第 2 页，共 %1 页").arg(pages)));
    EXPECT_FALSE(text.contains(QStringLiteral("第 1 页"))) << text.toStdString();
    m_dialogs.answer = 0;
    EXPECT_EQ(printer()->Print(), S_FALSE) << "a cancelled dialog prints nothing";
}

TEST_F(ReportViewControlTest, DocSrcAndDataSrcOpenTheirFiles)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    QTemporaryDir dir;
    const QString dataFile = dir.filePath("data.xml");
    QFile file(dataFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QString xml = QString::fromUtf8(SampleData);
    QStringEncoder encoder("GB2312");
    ASSERT_TRUE(encoder.isValid());
    file.write(encoder(xml)); // in the encoding its declaration names
    file.close();

    ASSERT_EQ(m_view->put_DocSrc(BStr(u"" VL_RUN_DIR "/test.vld").get()), S_OK);
    ASSERT_EQ(m_view->put_DataSrc(bstr(dataFile).get()), S_OK);
    int32_t sheets = 0, rows = 0;
    EXPECT_EQ(document()->get_SheetCount(&sheets), S_OK);
    EXPECT_EQ(sheets, 2);
    EXPECT_EQ(data()->get_RowCount(BStr(u"Detail").get(), -1, &rows), S_OK);
    EXPECT_EQ(rows, 3);
    BStr name;
    EXPECT_EQ(data()->get_Value(BStr(u"Detail").get(), 1, 0, BStr(u"EmpName").get(), &name), S_OK);
    EXPECT_EQ(qtext(name.get()), u"王五");

    const QString missing = dir.filePath("none.vld");
    EXPECT_EQ(m_view->put_DocSrc(bstr(missing).get()), S_OK) << "a property write is no command that fails";
    EXPECT_EQ(sink->argsOf(ReportViewEventId::OnPrompt), QStringList{QStringLiteral("Template file \"%1\" not found").arg(missing)});
    EXPECT_EQ(document()->get_SheetCount(&sheets), S_OK);
    EXPECT_EQ(sheets, 2) << "the open template stays";
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, LockedRefusesInputs)
{
    ActiveControl active(m_object.get(), QSize(900, 700));
    ASSERT_NO_FATAL_FAILURE(openSample());
    ASSERT_EQ(m_view->put_Inputable(VARIANT_TRUE), S_OK);
    ASSERT_EQ(m_view->put_Locked(VARIANT_TRUE), S_OK);
    active.click(active.centreOf(sampleCellRect("Salary")));
    EXPECT_EQ(active.viewport()->findChild<QLineEdit*>(), nullptr);
    ASSERT_EQ(m_view->put_Locked(VARIANT_FALSE), S_OK);
    ASSERT_NO_FATAL_FAILURE(editFirstSalary(active, "1", Qt::Key_Escape));
    BStr value;
    EXPECT_EQ(firstSalary(&value), S_OK);
    EXPECT_EQ(qtext(value.get()), "5000") << "Esc drops the edit";
}

TEST_F(ReportViewControlTest, SecondLoadReplacesTheFirstAndItsEdits)
{
    ActiveControl active(m_object.get(), QSize(900, 700));
    ASSERT_NO_FATAL_FAILURE(openSample());
    ASSERT_EQ(m_view->put_Inputable(VARIANT_TRUE), S_OK);
    ASSERT_NO_FATAL_FAILURE(editFirstSalary(active, "5100", Qt::Key_Return));
    BStr value;
    EXPECT_EQ(firstSalary(&value), S_OK);
    EXPECT_EQ(qtext(value.get()), "5100");

    // The second document names its fields in other letter cases and leaves the salary out of a row.
    QString second = QString::fromUtf8(SampleData);
    second.replace(u"Salary=\"5000\""_qs, u""_qs).replace(u"EmpName"_qs, u"EMPNAME"_qs).replace(u"张三"_qs, u"赵六&amp;钱七"_qs);
    ASSERT_EQ(data()->LoadXML(bstr(second).get(), 0), S_OK);
    EXPECT_EQ(firstSalary(&value), E_INVALIDARG)
        << "the edit went with the first document";
    EXPECT_EQ(data()->get_Value(BStr(u"Detail").get(), 0, 0, BStr(u"EmpName").get(), &value), S_OK);
    EXPECT_EQ(qtext(value.get()), u"赵六&钱七");
    EXPECT_EQ(data()->get_Value(BStr(u"Detail").get(), 0, 1, BStr(u"salary").get(), &value), S_OK);
    EXPECT_EQ(qtext(value.get()), "6000");
    BStr xml;
    EXPECT_EQ(data()->get_XML(&xml), S_OK);
    EXPECT_EQ(qtext(xml.get()), second);

    pressKey(active.viewport()->parentWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstSalary(&value), E_INVALIDARG)
        << "nothing of the first document is taken back into the second";
    QTemporaryDir dir;
    const QString pdf = dir.filePath("second.pdf");
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(u"赵六&钱七"_qs)) << text.toStdString();
    EXPECT_FALSE(text.contains(u"张三"_qs));
}

TEST_F(ReportViewControlTest, HandlersThatCallBackDuringLayoutAreRefusedNotFatal)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    ActiveControl active(m_object.get(), QSize(600, 400));
    QTemporaryDir dir;
    const QString path = dir.filePath("calls.vld");
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><sheet name="A"><detail detail="Detail" height="6">
      <cell width="80">[Detail.EmpName] [Again(1)] [Detail.Nope]</cell></detail></sheet></report>)"));
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK);
    std::vector<HRESULT> results;
    std::vector<QString> descriptions;
    sink->during = [&](DISPID id) {
        if (id == ReportViewEventId::OnCustomFunctionExecute) {
            // Reloading, refreshing or closing in the middle of the layout that asked.
            results.push_back(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0));
            descriptions.push_back(takeErrorDescription());
            results.push_back(m_view->Refresh());
            results.push_back(document()->Close());
            takeErrorDescription();
        }
        if (id == ReportViewEventId::OnPrompt)
            QApplication::processEvents(); // a host showing a message box runs an event loop
    };
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    for (int i = 0; i < 50; ++i)
        QApplication::processEvents();
    ASSERT_FALSE(results.empty());
    for (HRESULT hr : results)
        EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_EQ(descriptions.front(), "The report cannot change while it is being laid out");
    EXPECT_TRUE(sink->argsOf(ReportViewEventId::OnPrompt).contains(u"The data has no field \"Detail.Nope\"; its cells print empty"_qs));
    int32_t sheets = 0;
    EXPECT_EQ(document()->get_SheetCount(&sheets), S_OK);
    EXPECT_EQ(sheets, 1) << "the refused Close left the template open";
    sink->during = nullptr;
    EXPECT_EQ(document()->Close(), S_OK);
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

TEST_F(ReportViewControlTest, ExportPdfReplacesItsFileWholeAndNeverTheTemplate)
{
    QTemporaryDir dir;
    const QString templateFile = dir.filePath("copy.vld");
    ASSERT_TRUE(QFile::copy(VL_RUN_DIR "/test.vld", templateFile));
    ASSERT_EQ(document()->OpenFile(bstr(templateFile).get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    const auto bytes = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    };
    const auto mode = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0u;
    };
    const QString pdf = dir.filePath("kept.pdf");
    {
        QFile old(pdf);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    ::chmod(QFile::encodeName(pdf).constData(), 0640);

    EXPECT_EQ(printer()->ExportPDF(BStr(u"Sheet9").get(), bstr(pdf).get()), E_INVALIDARG);
    takeErrorDescription();
    EXPECT_EQ(bytes(pdf), "old") << "a failed export leaves the file as it was";

    const QByteArray templateBytes = bytes(templateFile);
    for (const QString& input : {templateFile, dir.filePath("link.vld")}) {
        QFile::link(templateFile, dir.filePath("link.vld"));
        EXPECT_EQ(printer()->ExportPDF(nullptr, bstr(input).get()), E_FAIL);
        EXPECT_TRUE(takeErrorDescription().contains(u"is also an input of this run")) << input.toStdString();
        EXPECT_EQ(bytes(templateFile), templateBytes);
    }

    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK) << takeErrorDescription().toStdString();
    EXPECT_TRUE(bytes(pdf).startsWith("%PDF-"));
    EXPECT_EQ(mode(pdf) & 07777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3) << "no temporary file";

    const unsigned nullMode = mode(QStringLiteral("/dev/null"));
    ASSERT_EQ(printer()->ExportPDF(nullptr, BStr(u"/dev/null").get()), S_OK) << takeErrorDescription().toStdString();
    EXPECT_EQ(mode(QStringLiteral("/dev/null")), nullMode);
    EXPECT_TRUE(S_ISCHR(nullMode));
    EXPECT_EQ(printer()->ExportPDF(nullptr, BStr(u"/dev/full").get()), E_FAIL);
    EXPECT_EQ(takeErrorDescription(), "Cannot write to \"/dev/full\". No space left on device");
}

TEST_F(ReportViewControlTest, PrintWithoutAPrinterSaysSoAndACancelStaysSilent)
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        GTEST_SKIP() << "a printer is installed here";
    ASSERT_NO_FATAL_FAILURE(openSample());
    const struct {
        const char* what;
        bool showDialog;
        int answer;
        HRESULT result;
        const char* description;
        size_t dialogs;
    } cases[] = {
        {"accepted with nothing chosen", true, 1, E_FAIL, "No printer is installed", 1},
        {"without a dialog", false, 1, E_FAIL, "No printer is installed", 0},
        {"cancelled", true, 0, S_FALSE, "<none>", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs.calls.clear();
        m_dialogs.answer = c.answer;
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(printer()->PrintSheet(nullptr, c.showDialog ? VARIANT_TRUE : VARIANT_FALSE), c.result);
        EXPECT_EQ(takeErrorDescription(), c.description);
        EXPECT_EQ(m_dialogs.calls.size(), c.dialogs);
    }
    // The dialog's PDF file is the way to print without a printer.
    QTemporaryDir dir;
    m_dialogs.answer = 1;
    m_dialogs.pdfFile = dir.filePath("printed.pdf");
    EXPECT_EQ(printer()->Print(), S_OK) << takeErrorDescription().toStdString();
    EXPECT_GT(QFile(m_dialogs.pdfFile).size(), 0);
}

TEST_F(ReportViewControlTest, ABooleanArgumentReachesTheHostAsATruthValue)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    QTemporaryDir dir;
    const QString path = dir.filePath("flags.vld");
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><sheet name="A"><summary height="6">
      <cell width="80">[Flag(2 > 1, 1 > 2, not (1 = 1), 2.5)]</cell></summary></sheet></report>)"));
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    ASSERT_FALSE(sink->customArguments.isEmpty());
    const QStringList once = sink->customArguments.mid(0, 4);
    EXPECT_EQ(once, (QStringList{u"11:TRUE:true"_qs, u"11:FALSE:false"_qs, u"11:FALSE:false"_qs, u"5::2.5"_qs}));
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

namespace {

const QByteArray ParameterTemplate = R"(<report version="1">
  <parameter name="Title" default="Staff"/>
  <parameter name="MinSalary" type="number" default="5500"/>
  <parameter name="Until" type="date"/>
  <sheet name="A"><detail detail="Detail" height="6">
    <cell width="120">[Param.Title]:[Detail.EmpNo]=[if(Detail.Salary >= Param.MinSalary, "high", "low")]/[Param.Until]
    </cell>
  </detail></sheet></report>)";

} // namespace

TEST_F(ReportViewControlTest, ParametersAreReadAndSetThroughTheDocumentSlots)
{
    using Count = HRESULT (*)(void*, int32_t*);
    using Name = HRESULT (*)(void*, int32_t, BSTR*);
    using Get = HRESULT (*)(void*, BSTR, BSTR*);
    using Put = HRESULT (*)(void*, BSTR, BSTR);
    ComPtr<IReportDocument> doc = document();
    int32_t count = -1;
    ASSERT_EQ(slot<Count>(doc.get(), 14)(doc.get(), &count), S_OK);
    EXPECT_EQ(count, 0) << "no template, no parameters";

    QTemporaryDir dir;
    const QString path = dir.filePath("params.vld");
    ASSERT_TRUE(writeFile(path, ParameterTemplate));
    ASSERT_EQ(doc->OpenFile(bstr(path).get()), S_OK);
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    ASSERT_EQ(slot<Count>(doc.get(), 14)(doc.get(), &count), S_OK);
    EXPECT_EQ(count, 3);
    QStringList names;
    for (int32_t i = 0; i < count; ++i) {
        BStr name;
        EXPECT_EQ(slot<Name>(doc.get(), 15)(doc.get(), i, &name), S_OK);
        names << qtext(name.get());
    }
    EXPECT_EQ(names, (QStringList{u"Title"_qs, u"MinSalary"_qs, u"Until"_qs}));
    for (int32_t bad : {-1, 3}) {
        BStr name;
        EXPECT_EQ(slot<Name>(doc.get(), 15)(doc.get(), bad, &name), E_INVALIDARG);
        EXPECT_EQ(takeErrorDescription(), u"There is no parameter %1"_qs.arg(bad));
    }

    // Each row puts (or only reads, with a null value) and then reads one parameter.
    const struct {
        const char16_t* name;
        const char16_t* put; // null: no put
        HRESULT putResult;
        const char* description; // of the failed put or get
        const char* read; // what get_Parameter answers afterwards; null: it fails
    } cases[] = {
        {u"Title", nullptr, S_OK, "", "Staff"},
        {u"minsalary", nullptr, S_OK, "", "5500"},
        {u"Until", nullptr, S_OK, "", ""},
        {u"Nope", nullptr, S_OK, "The template has no parameter \"Nope\"", nullptr},
        {u"", nullptr, S_OK, "The template has no parameter \"\"", nullptr},
        {u"Title", u"Payroll", S_OK, "", "Payroll"},
        {u"MINSALARY", u"6000.50", S_OK, "", "6000.5"},
        {u"Until", u"2025-02-28", S_OK, "", "2025-02-28"},
        {u"Nope", u"1", E_INVALIDARG, "The template has no parameter \"Nope\"", nullptr},
        {u"MinSalary", u"6 000", E_INVALIDARG, "Parameter \"MinSalary\" is a number: \"6 000\" is not a number",
         "6000.5"},
        {u"Until", u"31.12", E_INVALIDARG,
         "Parameter \"Until\" is a date: \"31.12\" is not a date in the form yyyy-MM-dd", "2025-02-28"},
    };
    for (const auto& c : cases) {
        const BStr name(c.name);
        SCOPED_TRACE(qtext(name.get()).toStdString());
        if (c.put) {
            const BStr value(c.put);
            EXPECT_EQ(slot<Put>(doc.get(), 17)(doc.get(), name.get(), value.get()), c.putResult);
            EXPECT_EQ(takeErrorDescription(), FAILED(c.putResult) ? QString::fromUtf8(c.description) : u"<none>"_qs);
        }
        BStr read;
        const HRESULT got = slot<Get>(doc.get(), 16)(doc.get(), name.get(), &read);
        if (c.read) {
            EXPECT_EQ(got, S_OK);
            EXPECT_EQ(qtext(read.get()), c.read);
        } else {
            EXPECT_EQ(got, E_INVALIDARG);
            EXPECT_EQ(takeErrorDescription(), c.description);
        }
    }

    const QString pdf = dir.filePath("params.pdf");
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(u"Payroll:1001=low/2025-02-28"_qs) && text.contains(u"Payroll:1002=low/"_qs)
                && text.contains(u"Payroll:2001=high/"_qs))
        << text.toStdString();
    ASSERT_EQ(data()->LoadXML(bstr(QString::fromUtf8(SampleData)).get(), 0), S_OK);
    BStr kept;
    EXPECT_EQ(doc->get_Parameter(BStr(u"Title").get(), &kept), S_OK);
    EXPECT_EQ(qtext(kept.get()), "Payroll") << "a data load keeps the values";
    ASSERT_EQ(doc->OpenFile(bstr(path).get()), S_OK);
    EXPECT_EQ(doc->get_Parameter(BStr(u"Title").get(), &kept), S_OK);
    EXPECT_EQ(qtext(kept.get()), "Staff") << "opening a template starts from its defaults";
}

TEST_F(ReportViewControlTest, AParameterCannotChangeWhileTheLayoutCallsTheHost)
{
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    QTemporaryDir dir;
    const QString path = dir.filePath("busy.vld");
    ASSERT_TRUE(writeFile(path, R"(<report version="1"><parameter name="Title" default="T"/>
      <sheet name="A"><summary height="6"><cell width="80">[Param.Title] [Again(1)]</cell></summary></sheet>
      </report>)"));
    ASSERT_EQ(document()->OpenFile(bstr(path).get()), S_OK);
    std::vector<HRESULT> results;
    QStringList descriptions;
    sink->during = [&](DISPID id) {
        if (id != ReportViewEventId::OnCustomFunctionExecute)
            return;
        results.push_back(document()->put_Parameter(BStr(u"Title").get(), BStr(u"Changed").get()));
        descriptions << takeErrorDescription();
    };
    const QString pdf = dir.filePath("busy.pdf");
    ASSERT_EQ(printer()->ExportPDF(nullptr, bstr(pdf).get()), S_OK);
    ASSERT_FALSE(results.empty());
    EXPECT_EQ(results.front(), E_UNEXPECTED);
    EXPECT_EQ(descriptions.front(), "The report cannot change while it is being laid out");
    sink->during = nullptr;
    BStr value;
    EXPECT_EQ(document()->get_Parameter(BStr(u"title").get(), &value), S_OK);
    EXPECT_EQ(qtext(value.get()), "T");
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}

namespace {

// The export dialog's answer: the file typed and the filter chosen (by its caption's start).
struct ExportAnswer {
    QString file;
    QString filter;
    int answer = 1;
    std::vector<int> kinds;
};

int exportHook(int kind, QDialog* dialog, QPrinter* printer, void* context)
{
    auto* answer = static_cast<ExportAnswer*>(context);
    answer->kinds.push_back(kind);
    auto* files = qobject_cast<QFileDialog*>(dialog);
    EXPECT_NE(files, nullptr);
    EXPECT_EQ(printer, nullptr);
    if (!files)
        return 0;
    for (const QString& filter : files->nameFilters())
        if (filter.startsWith(answer->filter))
            files->selectNameFilter(filter);
    files->selectFile(answer->file);
    return answer->answer;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST_F(ReportViewControlTest, ExportWritesEachFormatThroughItsSlotAndRefusesAnUnknownOne)
{
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(openSample());
    using Export = HRESULT (*)(void*, BSTR, BSTR);
    ComPtr<IReportPrinter> reportPrinter = printer();
    const auto exportTo = [&](const char16_t* format, const QString& path) {
        return slot<Export>(reportPrinter.get(), 14)(reportPrinter.get(), BStr(format).get(), bstr(path).get());
    };
    const struct {
        const char16_t* format;
        const char* name;
        QByteArray start;
    } cases[] = {
        {u"pdf", "r.pdf", "%PDF-"},
        {u"XLSX", "r.xlsx", "PK"},
        {u"csv", "r.csv", "工号,"},
        {u"html", "r.html", "<!DOCTYPE html>"},
        {u"txt", "r.txt", ""},
        {u"svg", "svg/page-001.svg", "<?xml"},
        {u"png", "png/page-001.png", "\x89PNG"},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        const QString target = dir.filePath(name.contains(u'/') ? name.section(u'/', 0, 0) : name);
        ASSERT_EQ(exportTo(c.format, target), S_OK) << takeErrorDescription().toStdString();
        const QByteArray written = fileBytes(dir.filePath(name));
        EXPECT_FALSE(written.isEmpty()) << c.name;
        EXPECT_TRUE(written.startsWith(c.start)) << c.name << ": " << written.left(40).toStdString();
    }
    EXPECT_TRUE(fileBytes(dir.filePath("r.txt")).contains("部门：销售部"));
    EXPECT_TRUE(fileBytes(dir.filePath("r.csv")).contains("\r\n1001,")) << "a line per employee";
    EXPECT_TRUE(fileBytes(dir.filePath("r.csv")).contains(",张三,"));

    EXPECT_EQ(exportTo(u"doc", dir.filePath("r.doc")), E_INVALIDARG);
    EXPECT_EQ(takeErrorDescription(), "Unknown export format \"doc\": use pdf, xlsx, csv, html, svg, png or txt");
    EXPECT_EQ(exportTo(u"csv", QString()), E_INVALIDARG);
    EXPECT_EQ(takeErrorDescription(), "No file name given for the export");
    const QByteArray templateBytes = fileBytes(QStringLiteral(VL_RUN_DIR "/test.vld"));
    EXPECT_EQ(exportTo(u"txt", QStringLiteral(VL_RUN_DIR "/test.vld")), E_FAIL);
    EXPECT_TRUE(takeErrorDescription().contains(u"is also an input of this run"));
    EXPECT_EQ(fileBytes(QStringLiteral(VL_RUN_DIR "/test.vld")), templateBytes);
    EXPECT_EQ(exportTo(u"html", QStringLiteral("/dev/full")), E_FAIL);
    EXPECT_TRUE(takeErrorDescription().startsWith(u"Cannot write to \"/dev/full\"."));
}

TEST_F(ReportViewControlTest, ContextMenuExportAsksThroughTheDialogSeamAndTellsAFailure)
{
    QTemporaryDir dir;
    ExportAnswer answer;
    m_setHook(exportHook, &answer);
    ActiveControl active(m_object.get(), QSize(800, 600));
    ASSERT_NO_FATAL_FAILURE(openSample());
    DWORD cookie = 0;
    const auto sink = connectEvents(cookie);
    const auto chooseExport = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(50, 50), active.viewport()->mapToGlobal(QPoint(50, 50)));
        QApplication::sendEvent(active.viewport(), &event);
        QMenu* menu = active.window()->findChild<QMenu*>();
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> actions = menu->actions();
        const auto found = std::find_if(actions.begin(), actions.end(), [](QAction* a) { return a->text() == u"Export..."; });
        ASSERT_NE(found, actions.end());
        (*found)->trigger();
        menu->close();
        delete menu;
    };

    // No extension typed: the chosen format's is added.
    answer.file = dir.filePath("staff");
    answer.filter = QStringLiteral("CSV");
    ASSERT_NO_FATAL_FAILURE(chooseExport());
    EXPECT_EQ(answer.kinds, std::vector<int> {VlReportExportDialog});
    EXPECT_TRUE(fileBytes(dir.filePath("staff.csv")).startsWith("工号,")) << "written as CSV";

    // Pages go into a folder named as the file, without its extension.
    answer.file = dir.filePath("pages.svg");
    answer.filter = QStringLiteral("SVG");
    ASSERT_NO_FATAL_FAILURE(chooseExport());
    EXPECT_TRUE(QFile::exists(dir.filePath("pages/page-001.svg")));

    answer.answer = 0;
    answer.file = dir.filePath("cancelled.txt");
    ASSERT_NO_FATAL_FAILURE(chooseExport());
    EXPECT_FALSE(QFile::exists(answer.file));
    EXPECT_TRUE(sink->argsOf(ReportViewEventId::OnPrompt).isEmpty());

    answer.answer = 1;
    answer.file = QStringLiteral("/dev/full");
    answer.filter = QStringLiteral("Plain text");
    ASSERT_NO_FATAL_FAILURE(chooseExport());
    const QStringList prompts = sink->argsOf(ReportViewEventId::OnPrompt);
    ASSERT_EQ(prompts.size(), 1);
    EXPECT_TRUE(prompts[0].startsWith(u"Cannot write to \"/dev/full\".")) << prompts[0].toStdString();
    EXPECT_EQ(disconnectSink(m_view.get(), DIID_IReportViewEvents, cookie), S_OK);
}
