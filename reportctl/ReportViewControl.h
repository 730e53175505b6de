#pragma once
// The report viewer control object: its default interface, dispatch by DISPID, events, sub-objects and
// OLE embedding. Private to the plug-in; hosts see only ReportViewIntf.h.

#include "ReportLayout.h"
#include "ReportSession.h"
#include "ReportViewIntf.h"
#include "ReportViewWidget.h"

#include "ComObject.h"
#include "ComPtr.h"
#include "ConnectionPoint.h"
#include "NoTypeInfo.h"
#include "OleInterfaces.h"
#include "Variant.h"

#include <QPointer>

#include <functional>
#include <optional>

namespace vl {

// Runs body, turning any C++ exception into a failure with error info, since none may cross a vtable.
HRESULT guardedCall(const std::function<HRESULT()>& body);
// Leaves error info with the control's source and answers hr.
HRESULT reportFailure(HRESULT hr, const QString& description);
// Puts make()'s value where the caller asked for it; without a place, E_POINTER with error info and
// make is not called, so nothing it would allocate is made.
template <class T, class Make>
HRESULT handOut(T* out, Make&& make)
{
    if (!out)
        return reportFailure(E_POINTER, QStringLiteral("No place for the result"));
    *out = make();
    return S_OK;
}

struct ReportViewProperties {
    int32_t bevelInner = rbNone, bevelOuter = rbNone, borderStyle = rbsNone;
    bool ctl3D = true, enabled = true, locked = false, visible = true;
    int32_t viewMode = rvmPage;
    bool allowUnDo = true, showSheetTab = true, showNavigator = true, showPageBorder = true;
    // The rest of the starting values, and what each property does, are in docs/template-format.md.
    int32_t sheetTabPosition = rstBottom;
    double scale = 1.0;
    bool customPrompt = false;
    int32_t workSpaceColor = 0x808080, paperColor = 0xFFFFFF, ruleColor = 0xC0C0C0, ruleOutSideColor = 0x808080,
            ruleSelectedColor = 0xFF0000, sheetTabBackColor = 0xC0C0C0, sheetTabActiveColor = 0xFFFFFF,
            sheetTabInactiveColor = 0xC0C0C0, sheetTabActiveTextColor = 0x000000, sheetTabInactiveTextColor = 0x404040,
            sheetBorderColor = 0x000000, navBackColor = 0xC0C0C0;
    bool showContextMenu = true, inputable = false, asynchronous = true;
    QString docSrc, dataSrc;
    bool cacheEnabled = true;
};

// A thin skin over a ReportSession: texts from BSTR, session news to events, failures to HRESULT and
// error info.
class ReportViewControl
    : public ComObject<NoTypeInfo<IReportView>, IConnectionPointContainer, IOleObject, IOleInPlaceObject,
                       IOleInPlaceActiveObject, IOleControl, IPersistStreamInit>,
      private ReportSessionObserver {
public:
    ReportViewControl();

    // IDispatch
    HRESULT Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argErr) override;

#define VL_REPORT_PROPERTY(Name, Type)                                                                                 \
    HRESULT get_##Name(Type* value) override;                                                                          \
    HRESULT put_##Name(Type value) override;
    VL_REPORT_PROPERTY(BevelInner, int32_t)
    VL_REPORT_PROPERTY(BevelOuter, int32_t)
    VL_REPORT_PROPERTY(BorderStyle, int32_t)
    VL_REPORT_PROPERTY(Ctl3D, VARIANT_BOOL)
    VL_REPORT_PROPERTY(Enabled, VARIANT_BOOL)
    VL_REPORT_PROPERTY(Locked, VARIANT_BOOL)
    VL_REPORT_PROPERTY(Visible, VARIANT_BOOL)
    VL_REPORT_PROPERTY(ViewMode, int32_t)
    VL_REPORT_PROPERTY(AllowUnDo, VARIANT_BOOL)
    VL_REPORT_PROPERTY(ShowSheetTab, VARIANT_BOOL)
    VL_REPORT_PROPERTY(ShowNavigator, VARIANT_BOOL)
    VL_REPORT_PROPERTY(ShowPageBorder, VARIANT_BOOL)
    VL_REPORT_PROPERTY(SheetTabPosition, int32_t)
    VL_REPORT_PROPERTY(Scale, double)
    VL_REPORT_PROPERTY(CustomPrompt, VARIANT_BOOL)
    VL_REPORT_PROPERTY(WorkSpaceColor, int32_t)
    VL_REPORT_PROPERTY(PaperColor, int32_t)
    VL_REPORT_PROPERTY(RuleColor, int32_t)
    VL_REPORT_PROPERTY(RuleOutSideColor, int32_t)
    VL_REPORT_PROPERTY(RuleSelectedColor, int32_t)
    VL_REPORT_PROPERTY(SheetTabBackColor, int32_t)
    VL_REPORT_PROPERTY(SheetTabActiveColor, int32_t)
    VL_REPORT_PROPERTY(SheetTabInactiveColor, int32_t)
    VL_REPORT_PROPERTY(SheetTabActiveTextColor, int32_t)
    VL_REPORT_PROPERTY(SheetTabInactiveTextColor, int32_t)
    VL_REPORT_PROPERTY(SheetBorderColor, int32_t)
    VL_REPORT_PROPERTY(NavBackColor, int32_t)
    VL_REPORT_PROPERTY(ShowContextMenu, VARIANT_BOOL)
    VL_REPORT_PROPERTY(Inputable, VARIANT_BOOL)
    VL_REPORT_PROPERTY(Asynchronous, VARIANT_BOOL)
    VL_REPORT_PROPERTY(DocSrc, BSTR)
    VL_REPORT_PROPERTY(DataSrc, BSTR)
    VL_REPORT_PROPERTY(CacheEnabled, VARIANT_BOOL)
#undef VL_REPORT_PROPERTY
    HRESULT get_ReportDocument(IReportDocument** value) override;
    HRESULT get_ReportData(IReportData** value) override;
    HRESULT get_ReportPrinter(IReportPrinter** value) override;
    HRESULT Refresh() override;
    HRESULT ZoomIn() override;
    HRESULT ZoomOut() override;
    HRESULT get_PageCount(int32_t* value) override;
    HRESULT get_PageIndex(int32_t* value) override;
    HRESULT put_PageIndex(int32_t value) override;
    HRESULT get_Version(BSTR* value) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IOleObject
    HRESULT SetClientSite(IOleClientSite* site) override;
    HRESULT GetClientSite(IOleClientSite** site) override;
    HRESULT SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) override;
    HRESULT Close(DWORD saveOption) override;
    HRESULT SetMoniker(DWORD whichMoniker, IMoniker* moniker) override;
    HRESULT GetMoniker(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
    HRESULT InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    HRESULT GetClipboardData(DWORD reserved, IDataObject** data) override;
    HRESULT DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent, LPCRECT posRect) override;
    HRESULT EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT Update() override;
    HRESULT IsUpToDate() override;
    HRESULT GetUserClassID(CLSID* clsid) override;
    HRESULT GetUserType(DWORD formOfType, LPOLESTR* userType) override;
    HRESULT SetExtent(DWORD drawAspect, SIZEL* size) override;
    HRESULT GetExtent(DWORD drawAspect, SIZEL* size) override;
    HRESULT Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT Unadvise(DWORD connection) override;
    HRESULT EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL enter) override;
    HRESULT InPlaceDeactivate() override;
    HRESULT UIDeactivate() override;
    HRESULT SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
    HRESULT ReactivateAndUndo() override;
    HRESULT TranslateAccelerator(LPMSG msg) override;
    HRESULT OnFrameWindowActivate(BOOL activate) override;
    HRESULT OnDocWindowActivate(BOOL activate) override;
    HRESULT ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    HRESULT EnableModeless(BOOL enable) override;

    // IOleControl
    HRESULT GetControlInfo(CONTROLINFO* info) override;
    HRESULT OnMnemonic(MSG* msg) override;
    HRESULT OnAmbientPropertyChange(DISPID dispId) override;
    HRESULT FreezeEvents(BOOL freeze) override;

    // IPersistStreamInit
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT InitNew() override;

    // Engine operations behind the sub-objects. Each answers S_OK or a failure with error info set.
    // A failed session operation as an HRESULT with error info.
    static HRESULT failure(const SessionResult& result);
    HRESULT openTemplate(const QString& path);
    HRESULT closeTemplate();
    HRESULT loadData(QStringView text);
    HRESULT clearData();
    HRESULT print(const QString& sheetName, bool showDialog);
    HRESULT preview(const QString& sheetName);
    HRESULT exportPdf(const QString& sheetName, const QString& fileName);
    // The sheet in view as `format` (pdf, xlsx, csv, html, svg, png, txt) into `path`, a folder for
    // the page formats; E_INVALIDARG for an unknown format or an empty path.
    HRESULT exportReport(const QString& format, const QString& path);
    // The context menu's export: a file dialog through the dialog seam, then exportReport.
    // S_FALSE when the dialog was cancelled.
    HRESULT exportWithDialog();
    HRESULT printerSetup();
    HRESULT setActiveSheet(const QString& name);
    HRESULT setParameter(const QString& name, const QString& value);

    // Tells the host of a problem that is no failure of its call: OnPrompt, and the view's message line
    // unless CustomPrompt is set. Each message once per template and data.
    void prompt(const QString& message) { m_session.prompt(message); }

    const std::optional<ReportTemplate>& reportTemplate() const { return m_session.reportTemplate(); }
    const QString& templateFileName() const { return m_session.templateFileName(); }
    const ReportDataSet& data() const { return m_session.data(); }
    QString dataXml() const { return m_session.data().text(); }
    QString activeSheet() const { return m_session.activeSheet(); }
    std::vector<SessionParameter> parameters() const { return m_session.parameters(); }
    std::optional<ExprValue> parameter(const QString& name) const { return m_session.parameter(name); }
    QString printerName;

protected:
    ~ReportViewControl() override;
    void* interfaceFor(REFIID iid) override;

private:
    static constexpr double MinimumScale = 0.1;
    static constexpr double MaximumScale = 10.0;
    // The writable plain properties, in the order they are saved.
    static std::vector<DISPID> persistedProperties();
    HRESULT layoutFor(const QString& sheetName, LaidOutReport& out);
    // Hands the properties the session acts on over to it.
    void applySessionOptions();
    void relayout() { m_session.relayout(); }
    void pushPagesToView();
    void updateView();
    void connectView();
    void inputCommitted(const PageItem& item, const QString& text);
    void undoInput();
    void openDocSrc();
    void openDataSrc();
    void fireEvent(DISPID dispId, std::vector<Variant> argsLastFirst = {});
    void notifyChanged(DISPID dispId);
    QWidget* dialogParent() const;
    // Writes pages first to last (1-based) of a sheet to a PDF file through OutputFile, each page as
    // it is laid out (ReportSession::streamSheet): replaced atomically, never the template or the
    // data file of the control; a failure is reported.
    HRESULT writePdfFile(const QString& sheetName, const QString& fileName, int first, int last);
    bool layingOut() const { return m_session.layingOut(); }
    HRESULT refuseWhileLayingOut() { return failure(ReportSession::busy()); }
    bool listening() const;

    // ReportSessionObserver: the session's news as the control's events.
    void dataLoaded() override;
    void dataLoadFailed(const QString& message) override;
    void prompted(const QString& message) override;
    std::optional<QString> displayValue(const PageItem& item) override;
    void inputEntered(const PageItem& item) override;
    void inputLeft(const PageItem& item) override;
    void inputChanged(const PageItem& item, const QString& oldValue, const QString& newValue) override;
    void hyperlinkClicked(const PageItem& item) override;
    std::optional<ExprValue> customFunction(const QString& name, const std::vector<ExprValue>& args) override;
    void pagesReplaced() override;
    void layoutProgressed(int pageCount, bool done) override;
    std::optional<int> viewedPage() const override;
    void showPage(int page) override;

    ReportViewProperties m_props;
    ConnectionPointList m_points;
    ConnectionPoint* m_events;
    ConnectionPoint* m_propertyNotify;
    QPointer<ReportViewWidget> m_widget;
    ComPtr<IOleClientSite> m_site;
    ComPtr<IOleInPlaceSite> m_inPlaceSite;
    SIZEL m_extent {20000, 15000};
    bool m_userMode = true;
    bool m_dirty = false;
    int m_freezeEvents = 0;
    ReportSession m_session {this}; // last, so that it goes first and tells nothing to a half-gone control
};

// Colour value 0x00BBGGRR as a QColor; system colours (high bit set) map to the palette's gray.
QColor colorFromOle(int32_t value);

} // namespace vl
