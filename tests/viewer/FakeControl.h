#pragma once
// A fake viewer control registered in-process under the viewer's class id. It records every call
// in order, counts every AddRef and Release, and fails on whatever a test did not expect.

#include "InterfaceStubs.h"

#include "ClassRegistry.h"
#include "ConnectionPoint.h"
#include "OleInterfaces.h"
#include "Variant.h"

#include <QPointer>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

namespace fake
{

// What the next fake control does; reset by each test's fixture.
struct Config {
    DWORD miscStatus = 0;
    SIZEL extent { 5080, 2540 }; // 192 x 96 pixels at 96 dpi
    HRESULT getExtentResult = S_OK;
    HRESULT setExtentResult = S_OK;
    bool inPlaceObject = true;
    bool window = true;
    bool viewInterface = true;
    bool acceptKeys = false;
    HRESULT initNewResult = S_OK;
    HRESULT subObjectResult = S_OK; // answer of the three sub-object reads
    HRESULT invokeResult = S_OK; // answer of property Invoke
    std::u16string invokeDescription; // with DISP_E_EXCEPTION
    bool notifyEnabledOnPut = true; // echo a put of -514 as a change notice
};

struct Counters {
    long addRefs = 0;
    long releases = 0;
};

Config& config();
Counters& counters();
std::vector<std::string>& calls();
// Index of the first recorded call that starts with prefix, or -1.
int callIndex(const std::string& prefix);
void clear();

class Control;
// The one control the factory made last (null once it is gone).
Control* lastControl();

class Control final : public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IOleControl,
                      public IPersistStreamInit,
                      public IConnectionPointContainer,
                      public StubReportView
{
public:
    Control();
    ~Control();

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IOleObject
    HRESULT SetClientSite(IOleClientSite* site) override;
    HRESULT GetClientSite(IOleClientSite** site) override;
    HRESULT SetHostNames(LPCOLESTR, LPCOLESTR) override { return unexpected("SetHostNames"); }
    HRESULT Close(DWORD saveOption) override;
    HRESULT SetMoniker(DWORD, IMoniker*) override { return unexpected("SetMoniker"); }
    HRESULT GetMoniker(DWORD, DWORD, IMoniker**) override { return unexpected("GetMoniker"); }
    HRESULT InitFromData(IDataObject*, BOOL, DWORD) override { return unexpected("InitFromData"); }
    HRESULT GetClipboardData(DWORD, IDataObject**) override { return unexpected("GetClipboardData"); }
    HRESULT DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) override;
    HRESULT EnumVerbs(IEnumOLEVERB**) override { return unexpected("EnumVerbs"); }
    HRESULT Update() override { return unexpected("Update"); }
    HRESULT IsUpToDate() override { return unexpected("IsUpToDate"); }
    HRESULT GetUserClassID(CLSID*) override { return unexpected("GetUserClassID"); }
    HRESULT GetUserType(DWORD, LPOLESTR*) override { return unexpected("GetUserType"); }
    HRESULT SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT Advise(IAdviseSink*, DWORD*) override { return unexpected("Advise"); }
    HRESULT Unadvise(DWORD) override { return unexpected("Unadvise"); }
    HRESULT EnumAdvise(IEnumSTATDATA**) override { return unexpected("EnumAdvise"); }
    HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT SetColorScheme(LOGPALETTE*) override { return unexpected("SetColorScheme"); }

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL) override { return unexpected("ContextSensitiveHelp"); }
    HRESULT InPlaceDeactivate() override { return unexpected("InPlaceDeactivate"); }
    HRESULT UIDeactivate() override;
    HRESULT SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    HRESULT ReactivateAndUndo() override { return unexpected("ReactivateAndUndo"); }
    HRESULT TranslateAccelerator(LPMSG msg) override;
    HRESULT OnFrameWindowActivate(BOOL) override { return unexpected("OnFrameWindowActivate"); }
    HRESULT OnDocWindowActivate(BOOL) override { return unexpected("OnDocWindowActivate"); }
    HRESULT ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return unexpected("ResizeBorder"); }
    HRESULT EnableModeless(BOOL) override { return unexpected("EnableModeless"); }

    // IOleControl
    HRESULT GetControlInfo(CONTROLINFO*) override { return unexpected("GetControlInfo"); }
    HRESULT OnMnemonic(MSG*) override { return unexpected("OnMnemonic"); }
    HRESULT OnAmbientPropertyChange(DISPID dispId) override;
    HRESULT FreezeEvents(BOOL) override { return unexpected("FreezeEvents"); }

    // IPersistStreamInit
    HRESULT GetClassID(CLSID*) override { return unexpected("GetClassID"); }
    HRESULT IsDirty() override { return unexpected("IsDirty"); }
    HRESULT Load(IStream*) override { return unexpected("Load"); }
    HRESULT Save(IStream*, BOOL) override { return unexpected("Save"); }
    HRESULT GetSizeMax(ULARGE_INTEGER*) override { return unexpected("GetSizeMax"); }
    HRESULT InitNew() override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IDispatch: the properties by DISPID
    HRESULT GetTypeInfoCount(UINT*) override { return unexpected("GetTypeInfoCount"); }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return unexpected("GetTypeInfo"); }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return unexpected("GetIDsOfNames"); }
    HRESULT Invoke(DISPID dispId, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
        EXCEPINFO* excepInfo, UINT* argErr) override;

    // IReportView: the three sub-object reads
    HRESULT get_ReportDocument(IReportDocument** value) override;
    HRESULT get_ReportData(IReportData** value) override;
    HRESULT get_ReportPrinter(IReportPrinter** value) override;

    // For tests: the control's side.
    IOleClientSite* site() const { return m_site.get(); }
    QWidget* widget() const { return m_widget; }
    std::map<DISPID, vl::Variant> properties;
    // Raises an event on the event connection point (arguments last-first as given).
    HRESULT fireEvent(DISPID dispId, std::vector<VARIANT> argsLastFirst);
    void notifyChanged(DISPID dispId);
    size_t eventConnections() const;
    size_t propertyConnections() const;
    // Asks the site's ambient dispatch for one property.
    HRESULT ambient(DISPID dispId, vl::Variant& value);

private:
    ULONG m_refs = 0;
    vl::ObjectCounter m_counter;
    vl::ComPtr<IOleClientSite> m_site;
    QPointer<QWidget> m_widget;
    vl::ConnectionPointList m_points;
};

// Registers the factory of Control under CLSID_ReportView for the life of the object.
class Registration
{
public:
    Registration();
    ~Registration();

private:
    DWORD m_cookie = 0;
};

} // namespace fake
