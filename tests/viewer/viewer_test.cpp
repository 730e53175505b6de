#include "FakeControl.h"
#include "VellandorFree_TLB.h"

#include "Application.h"
#include "ByRefVariant.h"
#include "ComObject.h"
#include "ErrorInfo.h"
#include "Exceptions.h"
#include "OleFont.h"
#include "SystemMessage.h"
#include "Text.h"
#include "WidgetApplication.h"

#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <memory>

namespace
{

class ViewerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        vl::test::ensureWidgetApplication("viewer_tests");
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    void SetUp() override
    {
        fake::clear();
        SetErrorInfo(0, nullptr);
        ASSERT_EQ(vl::liveObjectCount(), 0) << "objects left alive before the test";
        m_registration = std::make_unique<fake::Registration>();
        vl::setMessageBoxHandler(
            [this](const std::string& text, const std::string&, vl::MessageBoxIcon) { messages.push_back(text); });
    }

    void TearDown() override
    {
        m_parent.reset();
        m_owner.reset();
        vl::setMessageBoxHandler({});
        m_registration.reset();
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(fake::lastControl(), nullptr);
        EXPECT_EQ(fake::counters().addRefs, fake::counters().releases);
        EXPECT_EQ(vl::liveObjectCount(), 0) << "objects leaked";
        EXPECT_EQ(TReportView::Description().InstanceCount, 0);
    }

    void unregister() { m_registration.reset(); }

    TReportView* create()
    {
        m_owner = std::make_unique<TComponent>(nullptr);
        return new TReportView(m_owner.get());
    }

    QWidget* parent(int width = 400, int height = 300)
    {
        if (!m_parent) {
            m_parent = std::make_unique<QWidget>();
            m_parent->resize(width, height);
        }
        return m_parent.get();
    }

    // Created, parented to a shown 400 x 300 page and aligned to fill it.
    TReportView* createShown()
    {
        TReportView* view = create();
        view->SetParent(parent());
        view->SetAlign(alClient);
        parent()->show();
        return view;
    }

    void destroy() { m_owner.reset(); }

    std::vector<std::string> messages;
    std::unique_ptr<QWidget> m_parent;

private:
    std::unique_ptr<fake::Registration> m_registration;
    std::unique_ptr<TComponent> m_owner;
};

bool before(const std::string& a, const std::string& b)
{
    const int ia = fake::callIndex(a);
    const int ib = fake::callIndex(b);
    return ia >= 0 && ib >= 0 && ia < ib;
}

int countCalls(const std::string& prefix)
{
    int n = 0;
    for (const auto& call : fake::calls())
        n += call.rfind(prefix, 0) == 0;
    return n;
}

// Construction, site order and destruction

TEST_F(ViewerTest, LifecycleKeepsTheSiteOrder)
{
    TReportView* view = create();
    EXPECT_EQ(view->Width(), 192);
    EXPECT_EQ(view->Height(), 96);
    EXPECT_TRUE(view->TabStop());
    EXPECT_FALSE(view->Running());
    EXPECT_EQ(fake::callIndex("SetClientSite"), -1);

    view->SetParent(parent());
    view->SetAlign(alClient);
    parent()->show();
    ASSERT_TRUE(view->HandleAllocated());
    fake::Control* control = fake::lastControl();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(view->Handle(), control->widget());
    EXPECT_EQ(control->widget()->parentWidget(), parent());
    EXPECT_EQ(control->widget()->geometry(), QRect(0, 0, 400, 300));
    EXPECT_EQ(control->eventConnections(), 1u);
    EXPECT_EQ(control->propertyConnections(), 1u);

    parent()->resize(500, 350);
    EXPECT_EQ(control->widget()->geometry(), QRect(0, 0, 500, 350));
    destroy();

    EXPECT_TRUE(before("CreateInstance", "GetMiscStatus 1"));
    EXPECT_TRUE(before("GetMiscStatus 1", "GetExtent 1"));
    EXPECT_TRUE(before("GetExtent 1", "SetClientSite"));
    EXPECT_TRUE(before("SetClientSite", "InitNew"));
    EXPECT_TRUE(before("InitNew", "OnAmbientPropertyChange -1"));
    EXPECT_TRUE(before("OnAmbientPropertyChange -1", "DoVerb -5"));
    EXPECT_TRUE(before("DoVerb -5", "SetExtent 1 13229 9260")); // 500 x 350 pixels
    EXPECT_TRUE(before("SetExtent 1 13229 9260", "UIDeactivate"));
    EXPECT_TRUE(before("UIDeactivate", "Close 1"));
    EXPECT_TRUE(before("Close 1", "SetClientSite null"));
    EXPECT_NE(fake::callIndex("SetClientSite null events=0 notices=0"), -1);
    EXPECT_EQ(countCalls("Close"), 1);
    EXPECT_EQ(countCalls("InitNew"), 1);
}

TEST_F(ViewerTest, StatusBitsShapeTheWrapper)
{
    struct Case {
        DWORD status;
        bool tabStop;
        bool acceptsControls;
        bool siteFirst;
    } cases[] = {
        { 0, true, false, false },
        { OLEMISC_ACTSLIKELABEL, false, false, false },
        { OLEMISC_NOUIACTIVATE, false, false, false },
        { OLEMISC_SIMPLEFRAME, true, true, false },
        { OLEMISC_SETCLIENTSITEFIRST, true, false, true },
    };
    for (const auto& c : cases) {
        fake::calls().clear();
        fake::config().miscStatus = c.status;
        TReportView* view = create();
        EXPECT_EQ(view->TabStop(), c.tabStop) << c.status;
        EXPECT_EQ(view->AcceptsControls(), c.acceptsControls) << c.status;
        EXPECT_EQ(before("SetClientSite", "GetExtent 1"), c.siteFirst) << c.status;
        EXPECT_TRUE(view->TControl::Visible());
        destroy();
    }
}

TEST_F(ViewerTest, InvisibleAtRunTimeIsLimitedAndKeepsItsSize)
{
    fake::config().miscStatus = OLEMISC_INVISIBLEATRUNTIME;
    fake::config().extent = { 25400, 25400 };
    TReportView* view = create();
    EXPECT_EQ(view->Width(), 32);
    EXPECT_EQ(view->Height(), 32);
    EXPECT_FALSE(view->TControl::Visible());
    view->SetBounds(0, 0, 100, 100);
    EXPECT_EQ(view->Width(), 32);
    EXPECT_EQ(countCalls("SetExtent"), 0);
}

TEST_F(ViewerTest, RefusedExtentKeepsTheOldSize)
{
    fake::config().setExtentResult = E_FAIL;
    TReportView* view = createShown();
    EXPECT_EQ(view->Width(), 192);
    EXPECT_EQ(view->Height(), 96);
    EXPECT_NE(fake::callIndex("SetExtent 1 10583 7938"), -1); // 400 x 300 was offered
    EXPECT_EQ(fake::lastControl()->widget()->size(), QSize(192, 96));
}

TEST_F(ViewerTest, ConstructionFailureRaisesAndLeavesNothing)
{
    unregister();
    TComponent owner(nullptr);
    try {
        new TReportView(&owner);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), REGDB_E_CLASSNOTREG);
        const std::string system = vl::trimOleMessage(vl::toNarrow(vl::systemMessageText(REGDB_E_CLASSNOTREG)));
        ASSERT_FALSE(system.empty());
        EXPECT_EQ(e.Message(), system);
    }
    EXPECT_EQ(owner.ComponentCount(), 0);
    EXPECT_EQ(TReportView::Description().InstanceCount, 0);
}

TEST_F(ViewerTest, DescriptionRecord)
{
    const TControlDescription& d = TReportView::Description();
    EXPECT_TRUE(d.ClassId == CLSID_ReportView);
    EXPECT_TRUE(d.EventIid == DIID_IReportViewEvents);
    ASSERT_EQ(d.EventCount, 12);
    const DISPID expected[12] = { 201, 202, 203, 204, 205, 206, 207, 209, 210, 211, 212, 213 };
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(d.EventDispIds[i], expected[i]);
    EXPECT_EQ(d.Flags, 8);
    EXPECT_EQ(d.Version, 401);
    EXPECT_EQ(d.SiteOptions, 0);
    EXPECT_EQ(d.FontCount, 0);
    EXPECT_EQ(d.PictureCount, 0);
    create();
    EXPECT_EQ(TReportView::Description().InstanceCount, 1);
}

// Activation

TEST_F(ViewerTest, ActivationFailures)
{
    struct Case {
        bool inPlaceObject;
        bool window;
        const char* message;
    } cases[] = {
        { false, true, "OLE control activation failed" },
        { true, false, "Could not obtain OLE control window handle" },
    };
    for (const auto& c : cases) {
        fake::config().inPlaceObject = c.inPlaceObject;
        fake::config().window = c.window;
        TReportView* view = create();
        view->SetParent(parent());
        try {
            view->Handle();
            ADD_FAILURE() << "no exception";
        } catch (const EOleError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_FALSE(view->HandleAllocated());
        destroy();
        m_parent.reset();
    }
}

TEST_F(ViewerTest, ActivationFailureOnShowIsShown)
{
    fake::config().inPlaceObject = false;
    createShown();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "OLE control activation failed.");
}

TEST_F(ViewerTest, DestroyedWindowClosesAndActivatesAgain)
{
    TReportView* view = createShown();
    m_parent.reset();
    EXPECT_FALSE(view->HandleAllocated());
    EXPECT_EQ(view->Parent(), nullptr);
    EXPECT_EQ(countCalls("Close 1"), 1);

    view->SetParent(parent());
    parent()->show();
    EXPECT_TRUE(view->HandleAllocated());
    EXPECT_EQ(countCalls("DoVerb -5"), 2);
    EXPECT_EQ(countCalls("InitNew"), 1);
}

TEST_F(ViewerTest, KeysAreOfferedForAcceleratorTranslation)
{
    fake::config().acceptKeys = true;
    TReportView* view = createShown();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(view->Handle(), &press);
    EXPECT_NE(fake::callIndex("TranslateAccelerator 256 65"), -1);
}

TEST_F(ViewerTest, ParentFontAndColourChangesAreAnnounced)
{
    createShown();
    QFont font = parent()->font();
    font.setPointSize(font.pointSize() + 3);
    parent()->setFont(font);
    EXPECT_NE(fake::callIndex("OnAmbientPropertyChange -703"), -1);
    EXPECT_NE(fake::callIndex("OnAmbientPropertyChange -704"), -1);
    QPalette palette = parent()->palette();
    palette.setColor(QPalette::Window, Qt::red);
    parent()->setPalette(palette);
    EXPECT_NE(fake::callIndex("OnAmbientPropertyChange -701"), -1);
}

// Ambient properties and change notices

TEST_F(ViewerTest, AmbientProperties)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    struct Case {
        DISPID dispId;
        VARTYPE vt;
        int32_t value;
    } cases[] = {
        { DISPID_AMBIENT_BACKCOLOR, VT_I4, view->Color() },
        { DISPID_AMBIENT_FORECOLOR, VT_I4, view->Font().Color },
        { DISPID_AMBIENT_LOCALEID, VT_I4, static_cast<int32_t>(GetUserDefaultLCID()) },
        { DISPID_AMBIENT_MESSAGEREFLECT, VT_BOOL, VARIANT_TRUE },
        { DISPID_AMBIENT_USERMODE, VT_BOOL, VARIANT_TRUE },
        { DISPID_AMBIENT_UIDEAD, VT_BOOL, VARIANT_FALSE },
        { DISPID_AMBIENT_SHOWGRABHANDLES, VT_BOOL, VARIANT_FALSE },
        { DISPID_AMBIENT_SHOWHATCHING, VT_BOOL, VARIANT_FALSE },
        { DISPID_AMBIENT_SUPPORTSMNEMONICS, VT_BOOL, VARIANT_TRUE },
        { DISPID_AMBIENT_AUTOCLIP, VT_BOOL, VARIANT_TRUE },
    };
    for (const auto& c : cases) {
        vl::Variant value;
        ASSERT_EQ(control->ambient(c.dispId, value), S_OK) << c.dispId;
        EXPECT_EQ(value.type(), c.vt) << c.dispId;
        EXPECT_EQ(c.vt == VT_BOOL ? value->boolVal : value->lVal, c.value) << c.dispId;
    }

    vl::Variant name;
    ASSERT_EQ(control->ambient(DISPID_AMBIENT_DISPLAYNAME, name), S_OK);
    EXPECT_EQ(name.type(), VT_BSTR);
    EXPECT_EQ(SysStringLen(name->bstrVal), 0u);

    vl::Variant font;
    ASSERT_EQ(control->ambient(DISPID_AMBIENT_FONT, font), S_OK);
    ASSERT_EQ(font.type(), VT_DISPATCH);
    vl::ComPtr<IFont> object;
    ASSERT_EQ(vl::ComPtr<IDispatch>(font->pdispVal).query(IID_IFont, object), S_OK);
    vl::FontDescription d;
    ASSERT_EQ(vl::describeFont(object.get(), d), S_OK);
    EXPECT_EQ(vl::toNarrow(d.name), parent()->font().family().toStdString());

    for (DISPID other : { DISPID_AMBIENT_SCALEUNITS, DISPID_AMBIENT_DISPLAYASDEFAULT, 0, 201 }) {
        vl::Variant value;
        EXPECT_EQ(control->ambient(other, value), DISP_E_MEMBERNOTFOUND) << other;
    }
    vl::ComPtr<IDispatch> site;
    ASSERT_EQ(vl::ComPtr<IOleClientSite>(control->site()).query(IID_IDispatch, site), S_OK);
    VARIANT arg = vl::Variant::fromInt32(1).release();
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put { &arg, &named, 1, 1 };
    EXPECT_EQ(
        site->Invoke(DISPID_AMBIENT_BACKCOLOR, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

TEST_F(ViewerTest, ChangeNoticesForStockPropertiesOnly)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    control->properties[DISPID_BACKCOLOR] = vl::Variant::fromInt32(0x123456);
    control->properties[DISPID_FORECOLOR] = vl::Variant::fromInt32(0x00FF00);
    fake::calls().clear();
    for (DISPID unknown : { 201, 206, -500, -515, 0 })
        control->notifyChanged(unknown);
    EXPECT_TRUE(fake::calls().empty());

    control->notifyChanged(DISPID_BACKCOLOR);
    EXPECT_EQ(view->Color(), 0x123456);
    control->notifyChanged(DISPID_FORECOLOR);
    EXPECT_EQ(view->Font().Color, 0x00FF00);
    control->notifyChanged(DISPID_FONT); // not answered by the control: ignored
    EXPECT_EQ(countCalls("Invoke put"), 0);

    vl::ComPtr<IPropertyNotifySink> sink;
    ASSERT_EQ(vl::ComPtr<IOleClientSite>(control->site()).query(IID_IPropertyNotifySink, sink), S_OK);
    EXPECT_EQ(sink->OnRequestEdit(DISPID_ENABLED), S_OK);
    EXPECT_EQ(sink->OnRequestEdit(215), S_OK);
}

TEST_F(ViewerTest, EnabledLinkWithoutEcho)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    fake::calls().clear();

    view->TControl::SetEnabled(false);
    EXPECT_EQ(countCalls("Invoke put -514 vt=11"), 1);
    EXPECT_EQ(control->properties[DISPID_ENABLED]->boolVal, VARIANT_FALSE);
    EXPECT_EQ(countCalls("Invoke get -514"), 0);
    EXPECT_FALSE(view->Handle()->isEnabled());

    fake::calls().clear();
    control->properties[DISPID_ENABLED] = vl::Variant::fromBool(true);
    control->notifyChanged(DISPID_ENABLED);
    EXPECT_TRUE(view->TControl::Enabled());
    EXPECT_EQ(countCalls("Invoke get -514"), 1);
    EXPECT_EQ(countCalls("Invoke put"), 0);
}

TEST_F(ViewerTest, RunningReadsTheControlsEnabledState)
{
    TReportView* view = create();
    fake::lastControl()->properties[DISPID_ENABLED] = vl::Variant::fromBool(false);
    fake::lastControl()->properties[ReportViewDispId::Scale] = vl::Variant::fromDouble(1);
    view->Scale(); // bringing it to running state reads the stock property
    EXPECT_FALSE(view->TControl::Enabled());
}

// Properties

TEST_F(ViewerTest, PropertyReadsTakeTheTablesType)
{
    TReportView* view = create();
    fake::Control* control = fake::lastControl();
    control->properties[ReportViewDispId::Scale] = vl::Variant::fromDouble(1.25);
    EXPECT_EQ(fake::callIndex("InitNew"), -1);
    EXPECT_DOUBLE_EQ(view->Scale(), 1.25);
    EXPECT_NE(fake::callIndex("InitNew"), -1); // a read runs the control first

    for (VARIANT_BOOL raw : { VARIANT_TRUE, VARIANT_FALSE, VARIANT_BOOL(1), VARIANT_BOOL(0x100) }) {
        vl::Variant value = vl::Variant::fromBool(false);
        value.ptr()->boolVal = raw;
        control->properties[ReportViewDispId::Ctl3D] = value;
        EXPECT_EQ(view->Ctl3D(), raw != 0) << raw;
    }
    control->properties[ReportViewDispId::ViewMode] = vl::Variant::fromInt32(rvmContinuous);
    EXPECT_EQ(view->ViewMode(), rvmContinuous);
    control->properties[ReportViewDispId::PaperColor] = vl::Variant::fromInt32(0x00C0FFEE);
    EXPECT_EQ(view->PaperColor(), 0x00C0FFEE);
    control->properties[ReportViewDispId::DocSrc] = vl::Variant::fromString(u"report.vld");
    EXPECT_EQ(view->DocSrc(), u"report.vld");
}

TEST_F(ViewerTest, PropertyWritesUseTheTablesEncoding)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    view->SetCtl3D(true);
    EXPECT_EQ(control->properties[ReportViewDispId::Ctl3D].type(), VT_BOOL);
    EXPECT_EQ(control->properties[ReportViewDispId::Ctl3D]->boolVal, VARIANT_TRUE);
    view->SetLocked(false);
    EXPECT_EQ(control->properties[ReportViewDispId::Locked]->boolVal, VARIANT_FALSE);
    view->SetScale(2.5);
    EXPECT_EQ(control->properties[ReportViewDispId::Scale].type(), VT_R8);
    view->SetSheetBorderColor(0x00102030);
    EXPECT_EQ(control->properties[ReportViewDispId::SheetBorderColor].type(), VT_I4);
    EXPECT_EQ(control->properties[ReportViewDispId::SheetBorderColor]->lVal, 0x00102030);

    view->SetDocSrc(u"");
    view->SetDataSrc(u"");
    view->SetDocSrc(u"a.vld");
    EXPECT_NE(fake::callIndex("Invoke put 215 vt=8 null"), -1);
    EXPECT_NE(fake::callIndex("Invoke put 208 vt=8 null"), -1);
    EXPECT_NE(fake::callIndex("Invoke put 215 vt=8 bstr"), -1);

    view->SetVisible(false);
    EXPECT_NE(fake::callIndex("Invoke put 206 vt=11"), -1);
    EXPECT_TRUE(view->TControl::Visible());
    EXPECT_TRUE(view->Handle()->isVisibleTo(parent()));
}

TEST_F(ViewerTest, PropertyFailures)
{
    TReportView* view = create();
    fake::config().invokeResult = DISP_E_EXCEPTION;
    fake::config().invokeDescription = u"Scale out of range. . ";
    try {
        view->Scale();
        FAIL() << "no exception";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Scale out of range");
        EXPECT_EQ(static_cast<uint32_t>(e.ErrorCode()), 0x80041234u);
        EXPECT_EQ(e.Source(), "Viewer");
        EXPECT_EQ(e.HelpFile(), "viewer.hlp");
        EXPECT_EQ(e.HelpContext(), 77);
    }
    fake::config().invokeResult = E_INVALIDARG;
    try {
        view->SetScale(100);
        FAIL() << "no exception";
    } catch (const EOleException&) {
        FAIL() << "only a dispatch exception is an EOleException";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), E_INVALIDARG);
        EXPECT_EQ(e.Message(), vl::oleErrorMessage(E_INVALIDARG));
    }
}

// Result check

TEST(OleCheck, NonNegativeResultsPass)
{
    for (HRESULT hr : { S_OK, S_FALSE, HRESULT(2), HRESULT(0x7FFFFFFF) })
        EXPECT_NO_THROW(vl::oleCheck(hr)) << hr;
}

TEST(OleCheck, MessageRules)
{
    SetErrorInfo(0, nullptr);
    vl::setErrorInfo(E_FAIL, u"Viewer", u"Template not found.. . \t", GUID_NULL, u"help.chm", 12);
    try {
        vl::oleCheck(E_FAIL);
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Template not found");
        EXPECT_EQ(e.ErrorCode(), E_FAIL);
        EXPECT_EQ(e.Source(), "Viewer");
        EXPECT_EQ(e.HelpFile(), "help.chm");
        EXPECT_EQ(e.HelpContext(), 12);
    }

    const std::string system = vl::trimOleMessage(vl::toNarrow(vl::systemMessageText(E_INVALIDARG)));
    ASSERT_FALSE(system.empty());
    struct Case {
        HRESULT code;
        std::string message;
    } cases[] = {
        { E_INVALIDARG, system },
        { static_cast<HRESULT>(0x8004DEADu), "OLE error 8004DEAD" },
        { static_cast<HRESULT>(0x80000ABCu), "OLE error 80000ABC" },
    };
    for (const auto& c : cases) {
        try {
            vl::oleCheck(c.code);
            FAIL();
        } catch (const EOleException& e) {
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.ErrorCode(), c.code);
            EXPECT_EQ(e.Source(), "");
        }
    }
    EXPECT_EQ(vl::trimOleMessage("Ends.\r\n"), "Ends");
    EXPECT_EQ(vl::trimOleMessage(" . "), "");
    EXPECT_EQ(vl::trimOleMessage("a.b"), "a.b");
}

TEST_F(ViewerTest, StaleErrorInfoIsTakenUnchanged)
{
    TReportView* view = create();
    vl::setErrorInfo(E_FAIL, u"Earlier", u"Left over");
    fake::config().subObjectResult = E_ACCESSDENIED;
    try {
        view->ReportData();
        FAIL();
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Left over");
        EXPECT_EQ(e.ErrorCode(), E_ACCESSDENIED);
        EXPECT_EQ(e.Source(), "Earlier");
    }
    EXPECT_EQ(countCalls("LoadXML"), 0);
}

// Default interface and sub-objects

TEST_F(ViewerTest, CacheIsFilledByTheFirstCommandOnly)
{
    TReportView* view = create();
    fake::lastControl()->properties[ReportViewDispId::Scale] = vl::Variant::fromDouble(1);
    view->Scale();
    view->SetCtl3D(true);
    EXPECT_EQ(countCalls("QueryInterface IReportView"), 0);

    fake::config().subObjectResult = E_FAIL;
    EXPECT_THROW(view->ReportDocument(), EOleException);
    EXPECT_EQ(countCalls("QueryInterface IReportView"), 1);

    fake::config().subObjectResult = S_OK;
    vl::oleCheck(view->ReportPrinter()->Print());
    vl::oleCheck(view->ReportPrinter()->Preview(vl::StaticBStr(u"Sheet1").get()));
    vl::oleCheck(view->ReportPrinter()->Preview(vl::StaticBStr(u"Sheet1").get()));
    EXPECT_EQ(countCalls("QueryInterface IReportView"), 1);
    EXPECT_EQ(countCalls("get_ReportPrinter"), 3);
    EXPECT_EQ(countCalls("Preview Sheet1"), 2);
    EXPECT_EQ(view->ViewInterface(), view->ViewInterface());
}

TEST_F(ViewerTest, MissingDefaultInterface)
{
    fake::config().viewInterface = false;
    TReportView* view = create();
    for (int attempt = 1; attempt <= 2; ++attempt) {
        try {
            view->ReportDocument();
            FAIL();
        } catch (const EIntfCastError& e) {
            EXPECT_EQ(e.Message(), "Interface not supported");
        }
        EXPECT_EQ(countCalls("QueryInterface IReportView"), attempt);
    }
    EXPECT_EQ(countCalls("get_ReportDocument"), 0);
}

TEST_F(ViewerTest, SubObjectReadsGoThroughTheirSlots)
{
    TReportView* view = create();
    vl::ComPtr<IReportView> intf = view->ViewInterface();
    void** vtable = *reinterpret_cast<void***>(intf.get());
    using Read = HRESULT (*)(IReportView*, IUnknown**);
    const struct {
        int slot;
        const char* call;
    } reads[] = { { 39, "get_ReportDocument" }, { 40, "get_ReportData" }, { 41, "get_ReportPrinter" } };
    for (const auto& s : reads) {
        fake::calls().clear();
        IUnknown* object = nullptr;
        EXPECT_EQ(reinterpret_cast<Read>(vtable[s.slot])(intf.get(), &object), S_OK);
        ASSERT_NE(object, nullptr);
        object->Release();
        ASSERT_EQ(fake::calls().size(), 1u);
        EXPECT_EQ(fake::calls()[0], s.call);
    }

    fake::calls().clear();
    vl::ComPtr<IReportData> data = view->ReportData();
    vl::oleCheck(data->LoadXML(vl::BStr(u"<xml/>").get(), 0));
    vl::oleCheck(view->ReportDocument()->OpenFile(vl::BStr(u"/t/test.vld").get()));
    EXPECT_EQ(fake::calls(),
        (std::vector<std::string> { "get_ReportData", "LoadXML 0", "get_ReportDocument", "OpenFile /t/test.vld" }));
}

TEST_F(ViewerTest, ParameterOperationsFollowActiveSheetInTheDocumentsSlots)
{
    TReportView* view = create();
    vl::ComPtr<IReportDocument> document = view->ReportDocument();
    void** vtable = *reinterpret_cast<void***>(document.get());
    fake::calls().clear();
    int32_t count = 0;
    vl::BStr name, value;
    const vl::BStr title(u"Title"), until(u"Until"), date(u"2025-01-31");
    using Count = HRESULT (*)(IReportDocument*, int32_t*);
    using Name = HRESULT (*)(IReportDocument*, int32_t, BSTR*);
    using Get = HRESULT (*)(IReportDocument*, BSTR, BSTR*);
    using Put = HRESULT (*)(IReportDocument*, BSTR, BSTR);
    EXPECT_EQ(reinterpret_cast<Count>(vtable[14])(document.get(), &count), S_OK);
    EXPECT_EQ(reinterpret_cast<Name>(vtable[15])(document.get(), 1, &name), S_OK);
    EXPECT_EQ(reinterpret_cast<Get>(vtable[16])(document.get(), title.get(), &value), S_OK);
    EXPECT_EQ(reinterpret_cast<Put>(vtable[17])(document.get(), until.get(), date.get()), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(name.view(), u"Until");
    EXPECT_EQ(value.view(), u"Staff");
    EXPECT_EQ(fake::calls(),
        (std::vector<std::string> {
            "get_ParameterCount", "get_ParameterName 1", "get_Parameter Title", "put_Parameter Until=2025-01-31" }));
}

TEST_F(ViewerTest, ParameterWrappersAskTheDocumentAndRaiseItsErrors)
{
    TReportView* view = create();
    view->ViewInterface(); // the control's creation calls come first
    fake::calls().clear();
    EXPECT_EQ(view->ParameterCount(), 2);
    EXPECT_EQ(view->ParameterName(0), u"Title");
    EXPECT_EQ(view->Parameter(u"Until"), u"2024-12-31");
    view->SetParameter(u"Title", u"Payroll 2025");
    EXPECT_EQ(fake::calls(),
        (std::vector<std::string> { "get_ReportDocument", "get_ParameterCount", "get_ReportDocument",
            "get_ParameterName 0", "get_ReportDocument", "get_Parameter Until", "get_ReportDocument",
            "put_Parameter Title=Payroll 2025" }));

    const struct {
        std::function<void()> call;
        const char* message;
    } failures[] = {
        { [&] { view->ParameterName(2); }, "There is no parameter 2" },
        { [&] { view->Parameter(u"Nope"); }, "The template has no parameter \"Nope\"" },
        { [&] { view->SetParameter(u"Nope", u"1"); }, "The template has no parameter \"Nope\"" },
    };
    for (const auto& f : failures) {
        try {
            f.call();
            ADD_FAILURE() << "no exception for " << f.message;
        } catch (const EOleException& e) {
            EXPECT_EQ(e.Message(), f.message);
            EXPECT_EQ(e.ErrorCode(), E_INVALIDARG);
        }
    }
    fake::config().subObjectResult = E_FAIL;
    EXPECT_THROW(view->ParameterCount(), EOleException);
}

TEST_F(ViewerTest, ExportWrapperCallsThePrinterAndRaisesItsError)
{
    TReportView* view = create();
    view->ViewInterface();
    fake::calls().clear();
    view->Export(u"xlsx", u"/tmp/staff.xlsx");
    EXPECT_EQ(fake::calls(), (std::vector<std::string> { "get_ReportPrinter", "Export xlsx /tmp/staff.xlsx" }));
    try {
        view->Export(u"doc", u"staff.doc");
        ADD_FAILURE() << "no exception for an unknown format";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.Message(), "Unknown export format \"doc\"");
        EXPECT_EQ(e.ErrorCode(), E_INVALIDARG);
    }
}

TEST_F(ViewerTest, SuccessCodesCompleteTheCommand)
{
    TReportView* view = create();
    fake::config().subObjectResult = S_FALSE;
    vl::ComPtr<IReportDocument> document = view->ReportDocument();
    ASSERT_TRUE(document);
    EXPECT_NO_THROW(vl::oleCheck(document->OpenFile(nullptr)));
}

// Events

using vl::test::byRef;

VARIANT int32Arg(int32_t value)
{
    return vl::Variant::fromInt32(value).release();
}

TEST_F(ViewerTest, EventsReachTheirSlots)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    std::vector<std::string> seen;
    view->OnCustomFunctionExecute = [&](TObject*, ICustomFunction*) { seen.push_back("custom"); };
    view->OnInputChanged = [&](TObject* sender, BSTR name, int32_t master, int32_t row, vl::Variant, vl::Variant) {
        EXPECT_EQ(sender, view);
        seen.push_back(
            "changed " + vl::toNarrow(vl::bstrView(name)) + " " + std::to_string(master) + " " + std::to_string(row));
    };
    view->OnResize = [&](TObject*) { seen.push_back("resize"); };

    EXPECT_EQ(control->fireEvent(208, {}), S_OK);
    EXPECT_TRUE(seen.empty());

    vl::BStr name(u"Cell1");
    vl::Variant oldValue, newValue;
    vl::Variant nameArg = vl::Variant::fromBStr(name); // the event arguments are borrowed, never owned
    EXPECT_EQ(control->fireEvent(209,
                  { byRef(VT_VARIANT, newValue.ptr()), byRef(VT_VARIANT, oldValue.ptr()), int32Arg(4), int32Arg(2),
                      nameArg.get() }),
        S_OK);
    EXPECT_EQ(control->fireEvent(202, {}), S_OK);
    view->OnResize = nullptr;
    EXPECT_EQ(control->fireEvent(202, {}), S_OK);
    EXPECT_EQ(control->fireEvent(203, {}), S_OK); // nothing assigned
    EXPECT_EQ(seen, (std::vector<std::string> { "changed Cell1 2 4", "resize" }));
}

TEST_F(ViewerTest, InOutArgumentsReachTheControl)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    view->OnCanResize = [](TObject*, int32_t& width, int32_t& height, VARIANT_BOOL& resize) {
        EXPECT_EQ(width, 640);
        EXPECT_EQ(height, 480);
        EXPECT_EQ(resize, VARIANT_TRUE);
        width = 320;
        resize = VARIANT_FALSE;
    };
    int32_t width = 640, height = 480;
    VARIANT_BOOL resize = VARIANT_TRUE;
    control->fireEvent(201, { byRef(VT_BOOL, &resize), byRef(VT_I4, &height), byRef(VT_I4, &width) });
    EXPECT_EQ(resize, VARIANT_FALSE);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 480);

    view->OnGetDisplayValue = [](TObject*, BSTR element, vl::Variant result, VARIANT& display) {
        EXPECT_EQ(vl::bstrView(element), u"Total");
        EXPECT_EQ(result->lVal, 42);
        result = vl::Variant::fromInt32(0); // the handler's own copy
        VariantClear(&display);
        display = vl::Variant::fromString(u"forty-two").release();
    };
    vl::Variant result = vl::Variant::fromInt32(42);
    vl::Variant display = vl::Variant::fromInt32(42);
    vl::Variant element = vl::Variant::fromString(u"Total");
    control->fireEvent(206, { byRef(VT_VARIANT, display.ptr()), byRef(VT_VARIANT, result.ptr()), element.get() });
    EXPECT_EQ(result->lVal, 42);
    ASSERT_EQ(display.type(), VT_BSTR);
    EXPECT_EQ(vl::bstrView(display->bstrVal), u"forty-two");
}

TEST_F(ViewerTest, HandlerExceptionIsShownAndTheControlHearsSuccess)
{
    TReportView* view = createShown();
    view->OnPrompt = [](TObject*, BSTR msg) { throw Exception("Bad prompt: " + vl::toNarrow(vl::bstrView(msg))); };
    vl::Variant msg = vl::Variant::fromString(u"x");
    std::vector<VARIANT> args { msg.get() };
    EXPECT_EQ(fake::lastControl()->fireEvent(204, args), S_OK);
    EXPECT_EQ(messages, (std::vector<std::string> { "Bad prompt: x." }));
}

TEST_F(ViewerTest, MissingArgumentsReadAsEmpty)
{
    TReportView* view = createShown();
    int calls = 0;
    view->OnDataLoadError = [&](TObject*, BSTR message) {
        EXPECT_EQ(message, nullptr);
        ++calls;
    };
    EXPECT_EQ(fake::lastControl()->fireEvent(213, {}), S_OK);
    EXPECT_EQ(fake::lastControl()->fireEvent(213, { int32Arg(7) }), S_OK); // no string: no wild pointer
    EXPECT_EQ(calls, 2);
}

TEST_F(ViewerTest, StandardKeyAndMouseEvents)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    std::vector<std::string> seen;
    view->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState shift) {
        seen.push_back("down " + std::to_string(key) + " " + std::to_string(shift));
        key = 0;
    };
    view->OnKeyPress = [&](TObject*, char& key) {
        seen.push_back(std::string("press ") + key);
        key = 'b';
    };
    view->OnMouseDown = [&](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
        seen.push_back("mouse " + std::to_string(button) + " " + std::to_string(shift) + " " + std::to_string(x) + ","
            + std::to_string(y));
    };
    view->OnClick = [&](TObject*) { seen.push_back("click"); };

    SHORT key = 65;
    control->fireEvent(DISPID_KEYDOWN, { int32Arg(1 | 8), byRef(VT_I2, &key) });
    EXPECT_EQ(key, 0);
    SHORT ch = 'a';
    control->fireEvent(DISPID_KEYPRESS, { byRef(VT_I2, &ch) });
    EXPECT_EQ(ch, 'b');
    control->fireEvent(DISPID_MOUSEDOWN, { int32Arg(20), int32Arg(10), int32Arg(4), int32Arg(2 | 4) });
    control->fireEvent(DISPID_MOUSEDOWN, { int32Arg(10), int32Arg(4), int32Arg(1) }); // too few
    control->fireEvent(DISPID_CLICK, {});
    EXPECT_EQ(seen,
        (std::vector<std::string> { "down 65 " + std::to_string(ssShift), "press a",
            "mouse 1 " + std::to_string(ssAlt | ssRight | ssMiddle) + " 10,20", "click" }));
}

TEST_F(ViewerTest, EventSinkAnswers)
{
    TReportView* view = createShown();
    fake::Control* control = fake::lastControl();
    vl::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(control->FindConnectionPoint(DIID_IReportViewEvents, &point), S_OK);
    vl::ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA data {};
    ULONG fetched = 0;
    ASSERT_EQ(connections->Next(1, &data, &fetched), S_OK);
    vl::ComPtr<IUnknown> unknown = vl::ComPtr<IUnknown>::adopt(data.pUnk);
    vl::ComPtr<IDispatch> sink;
    ASSERT_EQ(unknown.query(IID_IDispatch, sink), S_OK);

    const ULONG before = view->RefCount();
    sink->AddRef();
    EXPECT_EQ(view->RefCount(), before + 1);
    sink->Release();
    EXPECT_EQ(view->RefCount(), before);

    UINT count = 9;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    DISPID id = 0;
    LPOLESTR names[] = { const_cast<LPOLESTR>(u"OnPrompt") };
    EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
    vl::ComPtr<IUnknown> other;
    EXPECT_EQ(sink.query(IID_IOleObject, other), E_NOINTERFACE);
    vl::ComPtr<IDispatch> events;
    EXPECT_EQ(sink.query(DIID_IReportViewEvents, events), S_OK);
}

} // namespace
